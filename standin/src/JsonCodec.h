// The text side of the recording format, for the records' mapping in
// ConfigurationJson.cpp: parsing a JSON text strictly, laying a document out,
// and the fault that names its place in the document.
#pragma once

#include <standin/ConfigurationJson.h>

#include <nlohmann/json.hpp>

#include <string>

namespace standin {

using Json = nlohmann::ordered_json;

// What is wrong, and where: the place in the document
// ("paths[2].targetInfo"; empty for the document itself) and the fault.
struct Fault {
    std::string place;
    std::string what;
};

[[noreturn]] inline void fail(const std::string& place, const std::string& what) {
    throw Fault{place, what};
}

// Parses a whole JSON text, refusing what the records' reader would take
// silently or not survive; throws Fault.
Json parseText(const std::string& text);

// Appends `document` as the format lays it out: one field per line, a table
// as one entry per line, an entry holding a table as "name": value pairs on
// its line, anything else as compact JSON.
void layout(std::string& out, const Json& document, const std::string& indent = "");

} // namespace standin
