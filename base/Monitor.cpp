#include <libVideoPortInfo/Monitor.h>

#include <cstdint>

namespace libVideoPortInfo {

namespace {

/// Reads a fixed-length name field up to its first NUL or its end.
template <std::size_t N> tkl::String nameField(const WCHAR (&field)[N]) {
    tkl::String text;
    text.assignBounded(reinterpret_cast<const unsigned short*>(field), N);
    return text;
}

/// The refresh rate rounded to the nearest hertz; 0 when the platform gave no
/// rate (a zero denominator).
unsigned roundedRate(const DISPLAYCONFIG_RATIONAL& rate) {
    if (rate.Denominator == 0) {
        return 0;
    }
    const std::uint64_t numerator = rate.Numerator;
    const std::uint64_t denominator = rate.Denominator;
    return static_cast<unsigned>((numerator + denominator / 2) / denominator);
}

} // namespace

Monitor::Monitor(const DISPLAYCONFIG_TARGET_DEVICE_NAME& targetName,
                 const DISPLAYCONFIG_TARGET_PREFERRED_MODE& preferredMode,
                 const tkl::String& displayId)
    : resolution_(preferredMode.width, preferredMode.height,
                  roundedRate(preferredMode.targetMode.targetVideoSignalInfo.vSyncFreq), 0),
      name_(nameField(targetName.monitorFriendlyDeviceName)),
      devicePath_(nameField(targetName.monitorDevicePath)), displayId_(displayId) {}

Monitor::~Monitor() {}

} // namespace libVideoPortInfo
