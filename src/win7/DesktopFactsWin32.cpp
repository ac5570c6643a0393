// vpiGetDesktopFacts on Windows: the monitor whose GDI device name is asked
// for, found among the desktop's monitors, then its MONITORINFOEXW and its
// DPI. Every value is in the calling thread's DPI awareness; nothing here
// changes it.
#include <libVideoPortInfo/DesktopFacts.h>

#include <cwchar>

namespace {

struct Search {
    const WCHAR* device;
    HMONITOR monitor = nullptr;
    MONITORINFOEXW info{};
};

BOOL CALLBACK visitMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    Search& search = *reinterpret_cast<Search*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    // szDevice is the GDI device name that the source-name request gives.
    if (GetMonitorInfoW(monitor, &info) &&
        std::wcsncmp(info.szDevice, search.device, CCHDEVICENAME) == 0) {
        search.monitor = monitor;
        search.info = info;
        return FALSE; // found: stop
    }
    return TRUE;
}

using GetDpiForMonitorCall = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kEffectiveDpi = 0; // MDT_EFFECTIVE_DPI

// shcore.dll's GetDpiForMonitor, from Windows 8.1 on; null before. Looked up
// once, from the system folder only; the library is never unloaded again, so
// the address stays valid for the life of the process.
GetDpiForMonitorCall getDpiForMonitor() {
    static const GetDpiForMonitorCall call = [] {
        const HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (shcore == nullptr) {
            return GetDpiForMonitorCall(nullptr);
        }
        // Through the generic function type, which the compiler lets any
        // function pointer type be cast to and from.
        const auto address =
            reinterpret_cast<void (*)()>(GetProcAddress(shcore, "GetDpiForMonitor"));
        return reinterpret_cast<GetDpiForMonitorCall>(address);
    }();
    return call;
}

UINT systemDpi() {
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return 96;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : 96;
}

RECTL rectOf(const RECT& r) {
    RECTL out;
    out.left = r.left;
    out.top = r.top;
    out.right = r.right;
    out.bottom = r.bottom;
    return out;
}

} // namespace

extern "C" LONG WINAPI vpiGetDesktopFacts(const WCHAR* gdiDeviceName, VpiDesktopFacts* facts) {
    if (gdiDeviceName == nullptr || facts == nullptr || facts->size < sizeof(VpiDesktopFacts)) {
        return ERROR_INVALID_PARAMETER;
    }
    Search search;
    search.device = gdiDeviceName;
    EnumDisplayMonitors(nullptr, nullptr, visitMonitor, reinterpret_cast<LPARAM>(&search));
    if (search.monitor == nullptr) {
        return ERROR_NOT_FOUND;
    }
    facts->flags = (search.info.dwFlags & MONITORINFOF_PRIMARY) != 0 ? VPI_DESKTOP_PRIMARY : 0;
    facts->monitorRect = rectOf(search.info.rcMonitor);
    facts->workArea = rectOf(search.info.rcWork);
    UINT dpiX = 0;
    UINT dpiY = 0;
    const GetDpiForMonitorCall dpiForMonitor = getDpiForMonitor();
    if (dpiForMonitor != nullptr &&
        SUCCEEDED(dpiForMonitor(search.monitor, kEffectiveDpi, &dpiX, &dpiY)) && dpiX != 0) {
        facts->dpi = dpiX;
        facts->dpiSource = VPI_DPI_EFFECTIVE;
    } else {
        facts->dpi = systemDpi();
        facts->dpiSource = VPI_DPI_SYSTEM;
    }
    return ERROR_SUCCESS;
}
