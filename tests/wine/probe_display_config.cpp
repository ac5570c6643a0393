// Prints what the platform's display-configuration operations answer: the
// path and mode tables (QDC_ALL_PATHS), each path's device-info requests, and
// each source device's distinct raw modes in first-seen order.
//
// Usage: probe_display_config [--modes] [--again]
//   --modes  also list every distinct mode, one per line
//   --again  after the report, report again for every line read from
//            standard input (to watch one process see configuration changes)
//
// Output lines (one fact each, so scripts can pick them out):
//   sizes rc=N paths=N modes=N
//   query rc=N paths=N modes=N
//   path I adapter=HIGH:LOW source=N target=N flags=X tech=N available=N
//          source_mode=N target_mode=N          (one line)
//   mode I type=N id=N adapter=HIGH:LOW
//   source_name I rc=N name=TEXT
//   target_name I rc=N friendly=TEXT device_path=TEXT tech=X
//   preferred_mode I rc=N [width=N height=N vsync=NUM/DEN]
//   device NAME raw=N distinct=N
//   device_mode NAME WxH@HZ BPP          (with --modes)
//   elapsed_ms N
//   end                                  (after each report)
#include <libVideoPortInfo/Platform.h>

#include <chrono>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A fixed UCS-2 field, read up to its first NUL or its end.
template <std::size_t N> std::string toUtf8(const WCHAR (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != 0) {
        ++length;
    }
    if (length == 0) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, field, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, field, static_cast<int>(length), &text[0], size, nullptr,
                        nullptr);
    return text;
}

std::string adapterText(const LUID& adapter) {
    std::ostringstream text;
    text << std::hex << adapter.HighPart << ':' << adapter.LowPart;
    return text.str();
}

std::string hexText(std::uint32_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

void printDeviceInfo(std::size_t index, const DISPLAYCONFIG_PATH_INFO& path) {
    auto source = libVideoPortInfo::makeDeviceInfoRequest<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(
        DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, path.sourceInfo.adapterId, path.sourceInfo.id);
    const LONG sourceRc = DisplayConfigGetDeviceInfo(&source.header);
    std::cout << "source_name " << index << " rc=" << sourceRc
              << " name=" << (sourceRc == ERROR_SUCCESS ? toUtf8(source.viewGdiDeviceName) : "")
              << '\n';

    auto target = libVideoPortInfo::makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_DEVICE_NAME>(
        DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, path.targetInfo.adapterId, path.targetInfo.id);
    const LONG targetRc = DisplayConfigGetDeviceInfo(&target.header);
    std::cout << "target_name " << index << " rc=" << targetRc;
    if (targetRc == ERROR_SUCCESS) {
        std::cout << " friendly=" << toUtf8(target.monitorFriendlyDeviceName)
                  << " device_path=" << toUtf8(target.monitorDevicePath)
                  << " tech=" << hexText(static_cast<std::uint32_t>(target.outputTechnology));
    }
    std::cout << '\n';

    auto preferred = libVideoPortInfo::makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(
        DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, path.targetInfo.adapterId,
        path.targetInfo.id);
    const LONG preferredRc = DisplayConfigGetDeviceInfo(&preferred.header);
    std::cout << "preferred_mode " << index << " rc=" << preferredRc;
    if (preferredRc == ERROR_SUCCESS) {
        const DISPLAYCONFIG_RATIONAL& vsync = preferred.targetMode.targetVideoSignalInfo.vSyncFreq;
        std::cout << " width=" << preferred.width << " height=" << preferred.height
                  << " vsync=" << vsync.Numerator << '/' << vsync.Denominator;
    }
    std::cout << '\n';
}

void printModes(const std::string& name, const std::wstring& wideName, bool listModes) {
    using Mode = std::tuple<DWORD, DWORD, DWORD, DWORD>; // width, height, Hz, bpp
    std::vector<Mode> distinct;
    DWORD raw = 0;
    for (;; ++raw) {
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsExW(wideName.c_str(), raw, &mode, EDS_RAWMODE)) {
            break;
        }
        const Mode key{mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency,
                       mode.dmBitsPerPel};
        bool seen = false;
        for (const Mode& known : distinct) {
            seen = seen || known == key;
        }
        if (!seen) {
            distinct.push_back(key);
        }
    }
    std::cout << "device " << name << " raw=" << raw << " distinct=" << distinct.size() << '\n';
    if (listModes) {
        for (const Mode& mode : distinct) {
            std::cout << "device_mode " << name << ' ' << std::get<0>(mode) << 'x'
                      << std::get<1>(mode) << '@' << std::get<2>(mode) << ' ' << std::get<3>(mode)
                      << '\n';
        }
    }
}

int report(bool listModes) {
    const auto start = std::chrono::steady_clock::now();

    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    const LONG sizesRc = GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &pathCount, &modeCount);
    std::cout << "sizes rc=" << sizesRc << " paths=" << pathCount << " modes=" << modeCount << '\n';
    if (sizesRc != ERROR_SUCCESS) {
        return 1;
    }
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(modeCount);
    const LONG queryRc = QueryDisplayConfig(QDC_ALL_PATHS, &pathCount, paths.data(), &modeCount,
                                            modes.data(), nullptr);
    std::cout << "query rc=" << queryRc << " paths=" << pathCount << " modes=" << modeCount << '\n';
    if (queryRc != ERROR_SUCCESS) {
        return 1;
    }
    paths.resize(pathCount);
    modes.resize(modeCount);

    for (std::size_t i = 0; i < paths.size(); ++i) {
        const DISPLAYCONFIG_PATH_INFO& path = paths[i];
        std::cout << "path " << i << " adapter=" << adapterText(path.sourceInfo.adapterId)
                  << " source=" << path.sourceInfo.id << " target=" << path.targetInfo.id
                  << " flags=" << hexText(path.flags)
                  << " tech=" << static_cast<long>(path.targetInfo.outputTechnology)
                  << " available=" << path.targetInfo.targetAvailable
                  << " source_mode=" << path.sourceInfo.modeInfoIdx
                  << " target_mode=" << path.targetInfo.modeInfoIdx << '\n';
    }
    for (std::size_t i = 0; i < modes.size(); ++i) {
        std::cout << "mode " << i << " type=" << static_cast<long>(modes[i].infoType)
                  << " id=" << modes[i].id << " adapter=" << adapterText(modes[i].adapterId)
                  << '\n';
    }

    std::vector<std::wstring> devices;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        printDeviceInfo(i, paths[i]);
        auto source = libVideoPortInfo::makeDeviceInfoRequest<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(
            DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, paths[i].sourceInfo.adapterId,
            paths[i].sourceInfo.id);
        if (DisplayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS) {
            continue;
        }
        const std::wstring name(source.viewGdiDeviceName);
        bool seen = false;
        for (const std::wstring& known : devices) {
            seen = seen || known == name;
        }
        if (!seen) {
            devices.push_back(name);
            printModes(toUtf8(source.viewGdiDeviceName), name, listModes);
        }
    }

    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::cout << "elapsed_ms "
              << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    bool listModes = false;
    bool again = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--modes") {
            listModes = true;
        } else if (argument == "--again") {
            again = true;
        } else {
            std::cerr << "usage: probe_display_config [--modes] [--again]\n";
            return 2;
        }
    }
    int status = report(listModes);
    std::cout << "end" << std::endl;
    std::string line;
    while (again && std::getline(std::cin, line)) {
        status = report(listModes);
        std::cout << "end" << std::endl;
    }
    return status;
}
