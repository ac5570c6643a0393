// The EDID bytes of a file as users have them: the raw blob of
// /sys/class/drm/*/edid or of edid-decode -o raw, or hex text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace edid {

/// The bytes of `contents`:
///  - raw binary, recognised by the EDID header, as is;
///  - hex text: whitespace-separated or run-together hex digits, after a
///    heading line that names EDID and ends in ':' where there is one
///    ("EDID:" in xrandr --props, "edid-decode (hex):"), up to the first line
///    that is neither blank nor hex (edid-decode's decoding, xrandr's next
///    property). Tabs, spaces and CR-LF line ends are all fine.
/// Empty when there are no bytes, or when the hex has a stray character or
/// an odd digit. Whether the bytes are an EDID is decode()'s to say.
std::optional<std::vector<std::uint8_t>> bytesFromFile(const std::string& contents);

} // namespace edid
