// vpiReadMonitorEdid on Windows: the EDID that Windows keeps as the value
// "EDID" of the monitor device's hardware key, found through SetupAPI from
// the monitor's device interface path. Built into the back-end, the recorder
// and the benchmark; never into anything that runs on the stand-in.
#include <libVideoPortInfo/MonitorEdid.h>

#include <windows.h>

#include <setupapi.h>

#include <cwctype>
#include <new>
#include <vector>

namespace {

// GUID_DEVINTERFACE_MONITOR, {e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}: the
// interface class of the paths the target-name request gives.
const GUID monitorInterface = {
    0xe6f07b5f, 0xee97, 0x4a90, {0xb0, 0x76, 0x33, 0xf5, 0x7b, 0xf4, 0xea, 0xa7}};

// Device paths compare without regard to case: the target-name request spells
// "DISPLAY#DELA0E2", SetupAPI "display#dela0e2".
bool samePath(LPCWSTR a, LPCWSTR b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (std::towlower(*a) != std::towlower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

// The present monitor interfaces, destroyed when it goes.
struct InterfaceSet {
    HDEVINFO set = SetupDiGetClassDevsW(&monitorInterface, nullptr, nullptr,
                                        DIGCF_DEVICEINTERFACE | DIGCF_PRESENT);
    ~InterfaceSet() {
        if (set != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set);
        }
    }
};

struct Key {
    HKEY key;
    ~Key() { RegCloseKey(key); }
};

// Finds the device of the interface `path` in `set`. SetupDiOpenDeviceInterfaceW
// finds it directly on Windows; Wine 8 only stubs it (it fails, leaving the
// last error 0), so when it fails the set's interfaces are compared one by one.
// Returns a Windows error code.
DWORD findDevice(HDEVINFO set, LPCWSTR path, SP_DEVINFO_DATA& device) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    device.cbSize = sizeof device;
    if (SetupDiOpenDeviceInterfaceW(set, path, 0, &interfaceData) &&
        (SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, nullptr, &device) ||
         GetLastError() == ERROR_INSUFFICIENT_BUFFER)) {
        return ERROR_SUCCESS;
    }
    std::vector<unsigned char> detailBuffer;
    for (DWORD i = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &monitorInterface, i, &interfaceData); ++i) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            continue;
        }
        detailBuffer.assign(required, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr,
                                             &device) &&
            samePath(detail->DevicePath, path)) {
            return ERROR_SUCCESS;
        }
    }
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_ITEMS ? ERROR_FILE_NOT_FOUND : error;
}

} // namespace

extern "C" LONG WINAPI vpiReadMonitorEdid(LPCWSTR monitorDevicePath, BYTE* buffer, UINT32* size) {
    if (monitorDevicePath == nullptr || monitorDevicePath[0] == 0 || size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        const InterfaceSet interfaces;
        if (interfaces.set == INVALID_HANDLE_VALUE) {
            return static_cast<LONG>(GetLastError());
        }
        SP_DEVINFO_DATA device{};
        const DWORD found = findDevice(interfaces.set, monitorDevicePath, device);
        if (found != ERROR_SUCCESS) {
            return static_cast<LONG>(found);
        }
        const HKEY opened =
            SetupDiOpenDevRegKey(interfaces.set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
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
