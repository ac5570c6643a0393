#pragma once

#include <cstdint>

namespace libVideoPortInfo {

/// The kind of connector of a video port. The numbers are fixed.
enum ConnectorType : std::int32_t {
    Vga = 0,         ///< analogue 15-pin (HD15)
    Dvi = 1,         ///< DVI
    Hdmi = 2,        ///< HDMI
    DisplayPort = 3, ///< DisplayPort, external or embedded
    SVideo = 4,      ///< S-Video
    Composite = 5,   ///< composite video
    Component = 6,   ///< component video
    Internal = 7,    ///< a connection internal to the machine
    Lvds = 8,        ///< LVDS panel link
    DJpn = 9,        ///< Japanese D connector
    Sdi = 10,        ///< SDI
    Udi = 11,        ///< UDI, external or embedded
    SdtvDongle = 12, ///< SDTV dongle
    Other = 13       ///< anything else
};

/// A short English name ("VGA", "HDMI", ...); "Other" for unknown values.
inline const char* connectorTypeName(ConnectorType type) {
    switch (type) {
    case Vga:
        return "VGA";
    case Dvi:
        return "DVI";
    case Hdmi:
        return "HDMI";
    case DisplayPort:
        return "DisplayPort";
    case SVideo:
        return "S-Video";
    case Composite:
        return "Composite";
    case Component:
        return "Component";
    case Internal:
        return "Internal";
    case Lvds:
        return "LVDS";
    case DJpn:
        return "D-Jpn";
    case Sdi:
        return "SDI";
    case Udi:
        return "UDI";
    case SdtvDongle:
        return "SDTV dongle";
    case Other:
        break;
    }
    return "Other";
}

} // namespace libVideoPortInfo
