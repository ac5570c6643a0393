// vpiReadMonitorEdid on Windows: the EDID that Windows keeps as the value
// "EDID" of the monitor device's hardware key, found through SetupAPI from
// the monitor's device interface path. The back-end exports it, as user32
// exports the other four; the back-end built on the stand-in has the
// stand-in's instead.
#include <libVideoPortInfo/Export.h>
#include <libVideoPortInfo/MonitorEdid.h>

#include <windows.h>

#include <setupapi.h>

#include <new>
#include <string>

namespace {

// GUID_DEVCLASS_MONITOR, {4d36e96e-e325-11ce-bfc1-08002be10318}: the setup
// class of monitor devices. A set of that class takes no other device, so a
// path that names something else is not read.
const GUID monitorClass = {
    0x4d36e96e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// A device information set of the monitor class, empty until a device is
// opened into it, destroyed when it goes. Opening the one device asked for
// costs a fraction of listing every present monitor (under Wine 8, 0.2 ms
// against 1.2 ms).
struct DeviceSet {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&monitorClass, nullptr);
    ~DeviceSet() {
        if (set != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set);
        }
    }
};

struct Key {
    HKEY key;
    ~Key() { RegCloseKey(key); }
};

// The device instance id that an interface path spells:
// "\\?\DISPLAY#DELA0E2#5&2a8b3c1f&0&UID28931#{guid}" names the instance
// "DISPLAY\DELA0E2\5&2a8b3c1f&0&UID28931". Empty for a path of another form.
std::wstring instanceIdOf(LPCWSTR path) {
    std::wstring text(path);
    const std::size_t guid = text.rfind(L"#{");
    if (text.compare(0, 4, L"\\\\?\\") != 0 || guid == std::wstring::npos || guid <= 4) {
        return std::wstring();
    }
    std::wstring id = text.substr(4, guid - 4);
    for (wchar_t& c : id) {
        c = c == L'#' ? L'\\' : c;
    }
    return id;
}

// Opens the monitor device of the interface `path` (of the monitor interface
// class, {e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}) into the empty `set`.
// Windows finds the interface itself (SetupDiOpenDeviceInterfaceW) and tells
// whether it is present; Wine 8 only stubs that call (it fails and leaves
// the last error 0), so there the device is opened by the instance id that
// the path spells.
// Returns a Windows error code; ERROR_FILE_NOT_FOUND when no present monitor
// has that path.
DWORD openDevice(HDEVINFO set, LPCWSTR path, SP_DEVINFO_DATA& device) {
    device.cbSize = sizeof device;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    SetLastError(ERROR_SUCCESS);
    if (SetupDiOpenDeviceInterfaceW(set, path, 0, &interfaceData)) {
        if ((interfaceData.Flags & SPINT_ACTIVE) == 0) {
            return ERROR_FILE_NOT_FOUND; // a monitor no longer there
        }
        // The set was empty: its one device is the interface's.
        return SetupDiEnumDeviceInfo(set, 0, &device) ? ERROR_SUCCESS : GetLastError();
    }
    const DWORD error = GetLastError();
    if (error != ERROR_SUCCESS && error != ERROR_CALL_NOT_IMPLEMENTED) {
        return error == ERROR_NO_SUCH_DEVICE_INTERFACE ? ERROR_FILE_NOT_FOUND : error;
    }
    const std::wstring id = instanceIdOf(path);
    if (id.empty() || !SetupDiOpenDeviceInfoW(set, id.c_str(), nullptr, 0, &device)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

} // namespace

extern "C" VPI_WIN7_API LONG WINAPI vpiReadMonitorEdid(LPCWSTR monitorDevicePath, BYTE* buffer,
                                                       UINT32* size) {
    if (monitorDevicePath == nullptr || monitorDevicePath[0] == 0 || size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        const DeviceSet devices;
        if (devices.set == INVALID_HANDLE_VALUE) {
            return static_cast<LONG>(GetLastError());
        }
        SP_DEVINFO_DATA device{};
        const DWORD found = openDevice(devices.set, monitorDevicePath, device);
        if (found != ERROR_SUCCESS) {
            return static_cast<LONG>(found);
        }
        const HKEY opened =
            SetupDiOpenDevRegKey(devices.set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (opened == INVALID_HANDLE_VALUE) {
            // A device without a hardware key has no EDID either.
            const DWORD error = GetLastError();
            return error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : static_cast<LONG>(error);
        }
        const Key key{opened};
        // One call: with a null buffer it gives the size, with a buffer too
        // small ERROR_MORE_DATA and the size.
        DWORD type = 0;
        DWORD bytes = buffer == nullptr ? 0 : *size;
        const LONG result = RegQueryValueExW(key.key, L"EDID", nullptr, &type, buffer, &bytes);
        if (result == ERROR_SUCCESS && type != REG_BINARY) {
            return ERROR_FILE_NOT_FOUND; // not an EDID that Windows wrote
        }
        if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
            *size = bytes;
        }
        return result == ERROR_MORE_DATA ? ERROR_INSUFFICIENT_BUFFER : result;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
