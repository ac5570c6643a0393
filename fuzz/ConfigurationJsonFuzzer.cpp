// A recorded configuration either loads or is refused with a
// ConfigurationError; nothing else may happen. What loads writes back to a
// text that loads to the same text.
#include <standin/ConfigurationJson.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    standin::Configuration configuration;
    try {
        configuration = standin::configurationFromJson(text);
    } catch (const standin::ConfigurationError&) {
        return 0;
    }
    std::string written;
    try {
        written = standin::configurationToJson(configuration);
    } catch (const standin::ConfigurationError&) {
        return 0; // holds a record the format cannot write
    }
    if (standin::configurationToJson(standin::configurationFromJson(written)) != written) {
        std::abort();
    }
    return 0;
}
