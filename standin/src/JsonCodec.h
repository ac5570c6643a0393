// The machinery of the recording format's JSON, apart from the records
// themselves: reading a file and parsing its text strictly, reading a record
// through its list of fields (Reader) and writing it (Writer), and the
// format's layout. A list of fields is a class with a static
// of(visitor, record) for each record, calling visitor(name, field) for each
// field (see ConfigurationJson.cpp).
#pragma once

#include <standin/ConfigurationJson.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

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

inline std::string member(const std::string& where, const char* name) {
    return where.empty() ? std::string(name) : where + "." + name;
}

inline std::string element(const std::string& where, std::size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

// The content of a file of at most 16 MiB; throws ConfigurationError.
std::string readTextFile(const std::string& path);

// Parses a whole JSON text, refusing what the readers below would take
// silently or not survive (see DocumentBuilder); throws Fault.
Json parseText(const std::string& text);

// Runs `read`; a fault inside gets `step` (a field name or an element index)
// in front of its place, so places are spelled out only when something fails.
template <typename Step, typename Read> void within(const Step& step, Read&& read) {
    try {
        read();
    } catch (Fault& fault) {
        const bool dot = !fault.place.empty() && fault.place[0] != '[';
        if constexpr (std::is_integral_v<Step>) {
            fault.place = element("", step) + (dot ? "." : "") + fault.place;
        } else {
            fault.place = std::string(step) + (dot ? "." : "") + fault.place;
        }
        throw;
    }
}

// An integer value from `min` to `max`.
std::int64_t integer(const Json& value, std::int64_t min, std::int64_t max);

// The tables: a list, or entries by key (read into an Entry, key included).
template <typename T> struct Table : std::false_type {};
template <typename T> struct Table<std::vector<T>> : std::true_type { using Entry = T; };
template <typename K, typename M> struct Table<std::map<K, M>> : std::true_type {
    using Entry = std::pair<K, M>;
};

// An integer field's type, or an enumeration's underlying one, whose
// signedness the written number keeps.
template <typename T>
using Integer = typename std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>,
                                            std::common_type<T>>::type;

// Reads one object: each field named once, none missing, none other.
template <typename Fields> class Reader {
public:
    static constexpr bool reading = true;

    template <typename T> static void read(const Json& value, T& field) {
        if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
            // 32-bit fields take a signed or an unsigned number and keep its
            // bits: -1 and 4294967295 are both 0xFFFFFFFF.
            const std::int64_t low = sizeof(T) == 4 ? INT32_MIN : 0;
            const std::int64_t high = sizeof(T) == 2   ? UINT16_MAX
                                      : sizeof(T) == 4 ? UINT32_MAX
                                                       : INT64_MAX;
            const std::uint64_t bits = sizeof(T) == 8 && value.is_number_unsigned()
                                           ? value.get<std::uint64_t>()
                                           : static_cast<std::uint64_t>(integer(value, low, high));
            field = static_cast<T>(static_cast<Integer<T>>(bits));
        } else if constexpr (std::is_array_v<T> || std::is_same_v<T, std::u16string>) {
            if (!value.is_string()) {
                fail("", std::string("expected a string, found ") + value.type_name());
            }
            const std::u16string text = fromUtf8(value.get<std::string>());
            if constexpr (std::is_array_v<T>) { // a fixed name field
                if (text.size() > std::extent_v<T>) {
                    fail("", std::to_string(text.size()) + " UTF-16 units do not fit a field of " +
                                 std::to_string(std::extent_v<T>));
                }
                copyName(field, text);
            } else {
                field = text;
            }
        } else if constexpr (std::is_same_v<T, Json>) {
            field = value;
        } else if constexpr (Table<T>::value) {
            if (!value.is_array()) {
                fail("", std::string("expected an array, found ") + value.type_name());
            }
            for (std::size_t i = 0; i < value.size(); ++i) {
                within(i, [&] { add(field, value[i]); });
            }
        } else {
            Reader reader(value);
            Fields::of(reader, field);
            for (auto it = value.begin(); it != value.end() && reader.names_.size() != value.size();
                 ++it) {
                if (std::none_of(reader.names_.begin(), reader.names_.end(),
                                 [&](const char* name) { return it.key() == name; })) {
                    fail("", "unknown field \"" + it.key() + "\"");
                }
            }
        }
    }

    template <typename T> void operator()(const char* name, T& field) {
        const auto it = object_.find(name);
        if (it == object_.end()) {
            fail("", std::string("missing field \"") + name + "\"");
        }
        names_.push_back(name);
        within(name, [&] { read(*it, field); });
    }

private:
    explicit Reader(const Json& object) : object_(object) {
        if (!object.is_object()) {
            fail("", std::string("expected an object, found ") + object.type_name());
        }
    }

    template <typename T> static void add(std::vector<T>& table, const Json& value) {
        read(value, table.emplace_back());
    }

    template <typename K, typename M> static void add(std::map<K, M>& table, const Json& value) {
        std::pair<K, M> entry;
        read(value, entry);
        if (!table.insert(entry).second) {
            Fields::duplicate(entry);
        }
    }

    const Json& object_;
    std::vector<const char*> names_;
};

template <typename Fields> class Writer {
public:
    static constexpr bool reading = false;

    template <typename T> static Json write(const T& field) {
        if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
            return Json(static_cast<Integer<T>>(field));
        } else if constexpr (std::is_array_v<T>) {
            return Json(toUtf8(nameOf(field)));
        } else if constexpr (std::is_same_v<T, std::u16string>) {
            return Json(toUtf8(field));
        } else if constexpr (std::is_same_v<T, Json>) {
            return field;
        } else if constexpr (Table<T>::value) {
            Json table = Json::array();
            for (const auto& entry : field) {
                table.push_back(write(typename Table<T>::Entry(entry)));
            }
            return table;
        } else {
            Writer writer;
            T record = field;
            Fields::of(writer, record);
            return std::move(writer.object_);
        }
    }

    template <typename T> void operator()(const char* name, T& field) {
        object_[name] = write(field);
    }

private:
    Json object_ = Json::object();
};

// Appends `document` as the format lays it out: one field per line, a table
// as one entry per line, an entry holding a table as "name": value pairs on
// its line, anything else as compact JSON.
void layout(std::string& out, const Json& document, const std::string& indent = "");

} // namespace standin
