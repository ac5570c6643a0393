// Any bytes decode without a read outside them (the sanitizers watch), into
// facts that keep the decoder's promises; any bytes printed as hex read back
// as themselves.
#include <edid/Edid.h>
#include <edid/EdidFile.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <string>

namespace {

void check(bool promise) {
    if (!promise)
        std::abort();
}

bool isCleanText(const std::optional<std::string>& text) {
    if (!text)
        return true;
    for (char c : *text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return text->size() <= 13 && (text->empty() || text->back() != ' ');
}

void checkFacts(const std::uint8_t* data, std::size_t size) {
    const auto edid = edid::decode(data, size);
    if (!edid)
        return;
    check(size >= 128 && edid->extensions == data[126]);
    check(edid->manufacturerId.size() == 3);
    for (char c : edid->manufacturerId)
        check(c >= '@' && c <= '_');
    check(isCleanText(edid->name) && isCleanText(edid->serialString));
    check(!(edid->week && edid->modelYear) &&
          (edid->year.has_value() != edid->modelYear.has_value()));
    if (const auto& timing = edid->preferredTiming) {
        const auto& rate = timing->refreshRate;
        check(rate.denominator != 0 && std::gcd(rate.numerator, rate.denominator) == 1);
        check(timing->hertz == double(rate.numerator) / double(rate.denominator));
        check(timing->pixelClockKhz >= 10000 && (!timing->interlaced || timing->height % 2 == 0));
    }
    if (const auto& hdr = edid->hdr)
        check(!hdr->desiredContentMinLuminance || hdr->desiredContentMaxFrameAverageLuminance);
    if (const auto& physical = edid->physicalSizeMm)
        check(physical->width != 0 && physical->height != 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkFacts(data, size);
    // The input as a file, whatever it holds.
    const std::string contents(reinterpret_cast<const char*>(data), size);
    if (const auto bytes = edid::bytesFromFile(contents))
        checkFacts(bytes->data(), bytes->size());
    // The input printed as xrandr does reads back whole.
    std::string hex = "\tEDID:\n";
    for (std::size_t i = 0; i < size; ++i) {
        hex += i % 16 == 0 ? "\n\t\t" : "";
        hex += "0123456789abcdef"[data[i] >> 4];
        hex += "0123456789abcdef"[data[i] & 0xF];
    }
    const auto read = edid::bytesFromFile(hex);
    check(size == 0 ? !read : read && std::equal(read->begin(), read->end(), data, data + size));
    return 0;
}
