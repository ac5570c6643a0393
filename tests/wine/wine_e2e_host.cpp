// A host program of the library for the end-to-end checks under Wine: it
// reads one command per line on standard input and prints what the library
// answers, so that a driving script can change the display configuration
// between two commands of the same process.
//
// Commands (each answer ends with a line "end"):
//   ports    one line per port, then one line comparing the port's modes with
//            the distinct raw modes of its device, read here directly from
//            EnumDisplaySettingsExW(..., EDS_RAWMODE), in first-seen order:
//              port I display=ID attached=0|1 connector=N monitor=0|1
//                   [name=TEXT device_path=TEXT monitor_display=ID
//                    preferred=WxH@HZ/BPP]                      (one line)
//              modes I library=N raw=N distinct=N equal=yes|no [diff=...]
//              ports count=N
//   refresh  refresh ok=0|1 ports=N
//   platform what Wine answers now, asked directly (not through the library):
//              platform rc=N paths=N raw=N,N,...   (raw modes per path's source)
//            so that a script can wait until a change has reached this process
//   steady   refreshes three times on the same configuration and prints the
//            number of live blocks on the C runtime's heap after each:
//              steady ok=0|1 ports=N blocks=A,B,C heapwalk=end|errorN
//   edids    one line per port: its current size and the EDID the library
//            reads for its connected monitor (VideoPortWin7::monitorEdid()),
//            in hexadecimal, or "-" for none:
//              edid I WxH connected=0|1 bytes=HEX|-
//   mode W H sets the primary display's mode to W x H the Windows way
//            (ChangeDisplaySettingsExW), which tells every top-level window
//            with WM_DISPLAYCHANGE:
//              mode rc=N
//   quit     ends the program
#include <libVideoPortInfo/DisplayResolution.h>
#include <libVideoPortInfo/Platform.h>
#include <libVideoPortInfo/VideoPort.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <libVideoPortInfo/VideoPortWin7.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <string>
#include <vector>

using libVideoPortInfo::DisplayResolution;
using libVideoPortInfo::VideoPort;

namespace {

std::string modeText(unsigned width, unsigned height, unsigned hertz, unsigned bpp) {
    return std::to_string(width) + "x" + std::to_string(height) + "@" + std::to_string(hertz) +
           "/" + std::to_string(bpp);
}

std::string modeText(const DisplayResolution& mode) {
    return modeText(mode.width(), mode.height(), mode.frequency(), mode.bitsPerPixel());
}

// The device's distinct raw modes as this program reads them, independently
// of the library.
std::vector<DisplayResolution> rawDistinctModes(const wchar_t* device, unsigned& raw) {
    std::vector<DisplayResolution> distinct;
    for (raw = 0;; ++raw) {
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsExW(device, raw, &mode, EDS_RAWMODE)) {
            break;
        }
        const DisplayResolution key(mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency,
                                    mode.dmBitsPerPel);
        if (std::find(distinct.begin(), distinct.end(), key) == distinct.end()) {
            distinct.push_back(key);
        }
    }
    return distinct;
}

void printModes(unsigned index, const VideoPort& port) {
    tkl::Array<DisplayResolution> library;
    port.supportedResolution(library);
    unsigned raw = 0;
    const std::vector<DisplayResolution> expected =
        rawDistinctModes(reinterpret_cast<const wchar_t*>(port.displayId().getUCS2Buffer()), raw);

    std::string difference;
    const std::size_t common = library.size() < expected.size() ? library.size() : expected.size();
    for (std::size_t i = 0; i < common && difference.empty(); ++i) {
        if (library[static_cast<unsigned>(i)] != expected[i]) {
            difference = "at " + std::to_string(i) + ": " +
                         modeText(library[static_cast<unsigned>(i)]) + " vs " +
                         modeText(expected[i]);
        }
    }
    if (difference.empty() && library.size() != expected.size()) {
        difference = "lengths differ";
    }
    std::printf("modes %u library=%u raw=%u distinct=%zu equal=%s%s%s\n", index, library.size(),
                raw, expected.size(), difference.empty() ? "yes" : "no",
                difference.empty() ? "" : " diff=", difference.c_str());
}

void printPorts() {
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    const unsigned count = factory->numVideoPorts();
    for (unsigned i = 0; i < count; ++i) {
        const auto port = factory->videoPort(i);
        const auto monitor = port->monitor();
        std::printf("port %u display=%s attached=%d connector=%d monitor=%d", i,
                    port->displayId().toUtf8().c_str(), port->hasAttachedMonitor() ? 1 : 0,
                    static_cast<int>(port->connectorType()), monitor ? 1 : 0);
        if (monitor) {
            std::printf(" name=%s device_path=%s monitor_display=%s preferred=%s",
                        monitor->name().toUtf8().c_str(), monitor->devicePath().toUtf8().c_str(),
                        monitor->displayId().toUtf8().c_str(),
                        modeText(monitor->preferredResolution()).c_str());
        }
        std::printf("\n");
        printModes(i, *port);
    }
    std::printf("ports count=%u\n", count);
}

void printPlatform() {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    LONG rc = GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &pathCount, &modeCount);
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(modeCount);
    if (rc == ERROR_SUCCESS && pathCount > 0 && modeCount > 0) {
        rc = QueryDisplayConfig(QDC_ALL_PATHS, &pathCount, paths.data(), &modeCount, modes.data(),
                                nullptr);
    }
    if (rc != ERROR_SUCCESS) {
        pathCount = 0;
    }
    std::string raw;
    for (UINT32 i = 0; i < pathCount; ++i) {
        auto source = libVideoPortInfo::makeDeviceInfoRequest<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(
            DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, paths[i].sourceInfo.adapterId,
            paths[i].sourceInfo.id);
        unsigned count = 0;
        if (DisplayConfigGetDeviceInfo(&source.header) == ERROR_SUCCESS) {
            rawDistinctModes(source.viewGdiDeviceName, count);
        }
        raw += (i == 0 ? "" : ",") + std::to_string(count);
    }
    std::printf("platform rc=%ld paths=%u raw=%s\n", static_cast<long>(rc),
                static_cast<unsigned>(pathCount), raw.c_str());
}

// Live blocks on the C runtime's heap, where every DLL's operator new ends up
// (the libraries link msvcrt's malloc). Allocates nothing itself.
struct HeapCount {
    long blocks = 0;
    int status = 0;
};

HeapCount liveBlocks() {
    HeapCount count;
    _HEAPINFO entry;
    std::memset(&entry, 0, sizeof entry);
    while ((count.status = _heapwalk(&entry)) == _HEAPOK) {
        if (entry._useflag == _USEDENTRY) {
            ++count.blocks;
        }
    }
    return count;
}

void steady() {
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    // The first refresh pays for anything the library creates once.
    bool ok = factory->refresh();
    HeapCount counts[3];
    for (HeapCount& count : counts) {
        ok = factory->refresh() && ok;
        count = liveBlocks();
    }
    int status = _HEAPEND;
    for (const HeapCount& count : counts) {
        if (count.status != _HEAPEND) {
            status = count.status;
        }
    }
    std::printf("steady ok=%d ports=%u blocks=%ld,%ld,%ld heapwalk=", ok ? 1 : 0,
                factory->numVideoPorts(), counts[0].blocks, counts[1].blocks, counts[2].blocks);
    if (status == _HEAPEND) {
        std::printf("end\n");
    } else {
        std::printf("error%d\n", status);
    }
}

void printEdids() {
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    for (unsigned i = 0; i < factory->numVideoPorts(); ++i) {
        const auto& port =
            static_cast<const libVideoPortInfo::VideoPortWin7&>(*factory->videoPort(i));
        const auto state = port.displayState();
        std::string hex;
        for (const std::uint8_t byte : port.monitorEdid()) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x", byte);
            hex += digits;
        }
        std::printf("edid %u %ux%u connected=%d bytes=%s\n", i, state ? state->width : 0,
                    state ? state->height : 0, port.isMonitorConnected() ? 1 : 0,
                    hex.empty() ? "-" : hex.c_str());
    }
}

void setMode(const char* arguments) {
    DEVMODEW mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    unsigned long width = 0;
    unsigned long height = 0;
    std::sscanf(arguments, "%lu %lu", &width, &height);
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    std::printf("mode rc=%ld\n", ChangeDisplaySettingsExW(nullptr, &mode, nullptr, 0, nullptr));
}

} // namespace

int main() {
    // Plain LF line ends, as a script reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        line[std::strcspn(line, "\r\n")] = '\0';
        if (std::strcmp(line, "ports") == 0) {
            printPorts();
        } else if (std::strcmp(line, "refresh") == 0) {
            auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
            const bool ok = factory->refresh();
            std::printf("refresh ok=%d ports=%u\n", ok ? 1 : 0, factory->numVideoPorts());
        } else if (std::strcmp(line, "platform") == 0) {
            printPlatform();
        } else if (std::strcmp(line, "steady") == 0) {
            steady();
        } else if (std::strcmp(line, "edids") == 0) {
            printEdids();
        } else if (std::strncmp(line, "mode ", 5) == 0) {
            setMode(line + 5);
        } else if (std::strcmp(line, "quit") != 0) {
            std::printf("unknown command %s\n", line);
        }
        std::printf("end\n");
        std::fflush(stdout);
        if (std::strcmp(line, "quit") == 0) {
            break;
        }
    }
    return 0;
}
