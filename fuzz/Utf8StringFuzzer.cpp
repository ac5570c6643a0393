// Any byte string decodes into a String without overreading, and its UTF-8
// form decodes back to the same String.
#include <tkl/String.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const tkl::String decoded(bytes.c_str()); // stops at the first NUL, like any C string
    const std::string utf8 = decoded.toUtf8();
    const tkl::String again(utf8.c_str());
    if (!(again == decoded) || again.toUtf8() != utf8) {
        std::abort();
    }
    // A bounded read never goes past the field or the first NUL.
    tkl::String bounded;
    bounded.assignBounded(decoded.getUCS2Buffer(), size / 2);
    if (bounded.size() > size / 2 || bounded.size() > decoded.size()) {
        std::abort();
    }
    return 0;
}
