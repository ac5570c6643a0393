// The machine the stand-in serves when no recorded one is named: a laptop with
// its panel and an HDMI monitor in use, and two idle connectors.
#include <standin/StandIn.h>

#include <cstddef>

namespace standin {
namespace {

constexpr UINT32 kSources = 4;

struct Target {
    UINT32 id;
    DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY technology;
    bool attached;
};

const Target kTargets[] = {
    {0x1040, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EMBEDDED, true},
    {0x1041, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, true},
    {0x1042, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EXTERNAL, false},
    {0x1043, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HD15, false},
};

struct Resolution {
    DWORD width;
    DWORD height;
};

const Resolution kPanelResolutions[] = {{640, 480},  {800, 600},   {1024, 768},  {1280, 720},
                                        {1280, 800}, {1280, 1024}, {1360, 768},  {1366, 768},
                                        {1440, 900}, {1600, 900},  {1680, 1050}, {1920, 1080}};
const Resolution kMonitorResolutions[] = {{640, 480},  {720, 480},   {720, 576},   {800, 600},
                                          {1024, 768}, {1280, 720},  {1280, 1024}, {1440, 900},
                                          {1600, 900}, {1680, 1050}, {1920, 1080}, {1920, 1200}};

// Each resolution at 60 Hz in 32 bits (with `scaled`, but for the last, the
// panel's own, also stretched and centred), then in 16 bits.
template <std::size_t N>
void addResolutions(Configuration& c, const std::u16string& device,
                    const Resolution (&resolutions)[N], bool scaled) {
    for (const Resolution& r : resolutions) {
        c.addDisplayMode(device, r.width, r.height, 60, 32);
        for (DWORD fixedOutput : {DWORD(DMDFO_STRETCH), DWORD(DMDFO_CENTER)}) {
            if (scaled && &r != &resolutions[N - 1]) {
                c.addDisplayMode(device, r.width, r.height, 60, 32);
                c.displayModes[device].back().dmDisplayFixedOutput = fixedOutput;
            }
        }
        c.addDisplayMode(device, r.width, r.height, 60, 16);
    }
}

// The panel's list: its resolutions, then the variants that differ only in
// fields a resolution does not carry.
void addPanelModes(Configuration& c, const std::u16string& device) {
    addResolutions(c, device, kPanelResolutions, true);
    c.addDisplayMode(device, 1920, 1080, 48, 32);
    c.addDisplayMode(device, 1920, 1080, 60, 32);
    c.displayModes[device].back().dmDisplayFixedOutput = DMDFO_STRETCH;
    c.addDisplayMode(device, 1920, 1080, 60, 32);
    c.displayModes[device].back().dmPosition.x = 1920;
}

// The monitor's list: PC resolutions at 60 Hz, television ones at 50, 30 and
// 24 Hz, an interlaced and a centred twin. All modes of the built-in machine
// are in its current orientation.
void addMonitorModes(Configuration& c, const std::u16string& device) {
    addResolutions(c, device, kMonitorResolutions, false);
    for (DWORD frequency : {50, 30, 24}) {
        c.addDisplayMode(device, 1920, 1080, frequency, 32);
    }
    c.addDisplayMode(device, 1280, 720, 50, 32);
    c.addDisplayMode(device, 720, 576, 50, 32);
    c.addDisplayMode(device, 2560, 1440, 59, 32);
    c.addDisplayMode(device, 2560, 1440, 59, 16);
    c.addDisplayMode(device, 2560, 1440, 59, 32);
    c.displayModes[device].back().dmDisplayFixedOutput = DMDFO_CENTER;
    c.addDisplayMode(device, 1920, 1080, 60, 32);
    c.displayModes[device].back().dmDisplayFlags = DM_INTERLACED;
}

// A source with no monitor still enumerates the basic VGA-era modes.
void addBasicModes(Configuration& c, const std::u16string& device) {
    for (DWORD bits : {32, 16}) {
        c.addDisplayMode(device, 640, 480, 60, bits);
        c.addDisplayMode(device, 800, 600, 60, bits);
        c.addDisplayMode(device, 1024, 768, 60, bits);
    }
}

} // namespace

Configuration defaultConfiguration() {
    Configuration c;
    const LUID adapter = makeLuid(0xd6a1, 0);

    // Panel from source 0 at the origin, monitor from source 1 to its right.
    c.modes.push_back(makeSourceMode(adapter, 0, 1920, 1080));
    c.modes.push_back(makeTargetMode(adapter, 0x1040, 1920, 1080, 148500000, 2475000));
    c.modes.push_back(makeSourceMode(adapter, 1, 2560, 1440, 1920, 0));
    c.modes.push_back(makeTargetMode(adapter, 0x1041, 2560, 1440, 241500000, 4028320));

    // Active paths first, then every other source x target pair.
    c.paths.push_back(
        makePath(adapter, 0, 0x1040, DISPLAYCONFIG_PATH_ACTIVE, kTargets[0].technology, 0, 1));
    c.paths.push_back(
        makePath(adapter, 1, 0x1041, DISPLAYCONFIG_PATH_ACTIVE, kTargets[1].technology, 2, 3));
    c.paths[0].targetInfo.refreshRate = {148500000, 2475000};
    c.paths[1].targetInfo.refreshRate = {241500000, 4028320};
    for (const Target& target : kTargets) {
        for (UINT32 source = 0; source < kSources; ++source) {
            const bool active =
                (source == 0 && target.id == 0x1040) || (source == 1 && target.id == 0x1041);
            if (!active) {
                c.paths.push_back(makePath(adapter, source, target.id, 0, target.technology));
                c.paths.back().targetInfo.targetAvailable = target.attached ? TRUE : FALSE;
            }
        }
    }

    const char16_t* gdiNames[kSources] = {u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY2",
                                          u"\\\\.\\DISPLAY3", u"\\\\.\\DISPLAY4"};
    for (UINT32 source = 0; source < kSources; ++source) {
        c.setSourceName(adapter, source, gdiNames[source]);
    }

    // Built-in panels often report no friendly name; the path still names them.
    c.setTargetName(adapter, 0x1040, u"",
                    u"\\\\?\\DISPLAY#LGD05E5#4&1c3ae0d0&0&UID8388688#"
                    u"{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
                    DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EMBEDDED, 0x30e4, 0x05e5);
    c.setTargetName(adapter, 0x1041, u"DELL U2719D",
                    u"\\\\?\\DISPLAY#DELA0E2#5&2a8b3c1f&0&UID28931#"
                    u"{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
                    DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, 0x10ac, 0xa0e2);
    c.setTargetName(adapter, 0x1042, u"", u"",
                    DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EXTERNAL);
    c.setTargetName(adapter, 0x1043, u"", u"", DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HD15);

    // The adapter's device path is made up as for a recording without one,
    // so that its recording (which then leaves it out) stays as it was.
    c.setAdapterName(adapter, madeUpAdapterPath(adapter));

    c.setPreferredMode(adapter, 0x1040, 1920, 1080, 148500000, 2475000);
    c.setPreferredMode(adapter, 0x1041, 2560, 1440, 241500000, 4028320);
    c.setDeviceInfoError(DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, adapter, 0x1042,
                         ERROR_NOT_SUPPORTED);
    c.setDeviceInfoError(DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, adapter, 0x1043,
                         ERROR_NOT_SUPPORTED);

    addPanelModes(c, gdiNames[0]);
    addMonitorModes(c, gdiNames[1]);
    addBasicModes(c, gdiNames[2]);
    addBasicModes(c, gdiNames[3]);
    return c;
}

} // namespace standin
