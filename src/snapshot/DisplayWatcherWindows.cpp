// The Windows watcher: a hidden top-level window for the display-change
// messages, its timers for the quiet period after a burst and for polling,
// and an event that stop() sets.
#include "DisplayWatcher.h"

#include <windows.h>

#include <dbt.h>

#include <string>
#include <utility>

namespace snapshot {

namespace {

// GUID_DEVINTERFACE_MONITOR, the device interface of monitors.
const GUID monitorInterface = {
    0xe6f07b5f, 0xee97, 0x4a90, {0xb0, 0x76, 0x33, 0xf5, 0x7b, 0xf4, 0xea, 0xa7}};

constexpr UINT_PTR pollTimer = 1;
constexpr UINT_PTR quietTimer = 2;
constexpr UINT_PTR secondLookTimer = 3;
// How long the messages of one change must be quiet before the refresh: a
// change of several outputs arrives as several messages.
constexpr UINT quietMilliseconds = 250;
// A message may come before the platform's tables show the change (seen
// under Wine on a loaded machine): one more look this long after it.
constexpr UINT secondLookMilliseconds = 1000;

const wchar_t* const windowClassName = L"dovAzaveVevoZoraVuz7 display watcher";

// The module this code is in (a DLL, or the program): the window class is
// registered for it, so that it goes with the module.
HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

} // namespace

struct DisplayWatcher::Impl {
    DWORD interval = 0;
    std::function<void(const std::string&)> trace;
    HANDLE stopEvent = nullptr; // manual reset
    HWND window = nullptr;
    HDEVNOTIFY notification = nullptr;
    bool quietPending = false;
    bool woken = false;
    Wake wake = Wake::Poll;

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && self->handle(message, wParam, lParam)) {
            return message == WM_DEVICECHANGE ? TRUE : 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    // True when the message was the watcher's.
    bool handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_DISPLAYCHANGE:
            log("watch: WM_DISPLAYCHANGE " + std::to_string(LOWORD(lParam)) + "x" +
                std::to_string(HIWORD(lParam)) + ", " + std::to_string(wParam) + " bpp");
            settle();
            return true;
        case WM_DEVICECHANGE:
            log("watch: WM_DEVICECHANGE " + deviceEventName(wParam));
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
                wParam == DBT_DEVNODES_CHANGED) {
                settle();
            }
            return true;
        case WM_TIMER:
            if (wParam == quietTimer) {
                KillTimer(window, quietTimer);
                quietPending = false;
                SetTimer(window, secondLookTimer, secondLookMilliseconds, nullptr);
                wakeWith(Wake::Message);
            } else if (wParam == secondLookTimer) {
                KillTimer(window, secondLookTimer);
                if (!quietPending) { // else a refresh after the messages comes anyway
                    wakeWith(Wake::Message);
                }
            } else if (wParam == pollTimer && !quietPending) {
                wakeWith(Wake::Poll); // a refresh after the messages comes anyway
            }
            return wParam == quietTimer || wParam == pollTimer || wParam == secondLookTimer;
        default:
            return false;
        }
    }

    static std::string deviceEventName(WPARAM event) {
        switch (event) {
        case DBT_DEVICEARRIVAL:
            return "DBT_DEVICEARRIVAL";
        case DBT_DEVICEREMOVECOMPLETE:
            return "DBT_DEVICEREMOVECOMPLETE";
        case DBT_DEVNODES_CHANGED:
            return "DBT_DEVNODES_CHANGED";
        default:
            return std::to_string(event);
        }
    }

    void log(const std::string& text) const {
        if (trace) {
            trace(text);
        }
    }

    // Starts, or starts again, the quiet period after a message.
    void settle() {
        quietPending = true;
        SetTimer(window, quietTimer, quietMilliseconds, nullptr);
    }

    void wakeWith(Wake reason) {
        woken = true;
        wake = reason;
    }

    void createWindow() {
        const HINSTANCE instance = thisModule();
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = windowClassName;
        RegisterClassExW(&windowClass); // fails harmlessly when another watcher did it
        // Top-level (no parent) and never shown: it receives the broadcasts.
        window = CreateWindowExW(WS_EX_TOOLWINDOW, windowClassName, L"display watcher", WS_POPUP, 0,
                                 0, 0, 0, nullptr, nullptr, instance, nullptr);
        if (window == nullptr) {
            log("watch: no window (error " + std::to_string(GetLastError()) + "): polling only");
            return;
        }
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = monitorInterface;
        notification = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (notification == nullptr) {
            log("watch: no monitor arrival notifications (error " + std::to_string(GetLastError()) +
                ")");
        }
        SetTimer(window, pollTimer, interval, nullptr);
    }
};

DisplayWatcher::DisplayWatcher(unsigned long intervalMilliseconds,
                               std::function<void(const std::string&)> trace)
    : impl_(new Impl) {
    impl_->interval = static_cast<DWORD>(intervalMilliseconds);
    impl_->trace = std::move(trace);
    impl_->stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl_->createWindow();
}

DisplayWatcher::~DisplayWatcher() {
    if (impl_->notification != nullptr) {
        UnregisterDeviceNotification(impl_->notification);
    }
    if (impl_->window != nullptr) {
        DestroyWindow(impl_->window);
    }
    // Fails while another watcher's window exists; the last one succeeds.
    UnregisterClassW(windowClassName, thisModule());
    CloseHandle(impl_->stopEvent);
}

DisplayWatcher::Wake DisplayWatcher::wait() {
    if (impl_->window == nullptr) {
        return WaitForSingleObject(impl_->stopEvent, impl_->interval) == WAIT_OBJECT_0 ? Wake::Stop
                                                                                       : Wake::Poll;
    }
    impl_->woken = false;
    while (!impl_->woken) {
        // Wakes for the stop event, posted and sent messages and timers alike.
        if (MsgWaitForMultipleObjects(1, &impl_->stopEvent, FALSE, INFINITE, QS_ALLINPUT) ==
            WAIT_OBJECT_0) {
            return Wake::Stop;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                stop();
                return Wake::Stop;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return stopRequested() ? Wake::Stop : impl_->wake;
}

void DisplayWatcher::stop() {
    SetEvent(impl_->stopEvent);
}

void DisplayWatcher::releaseInherited() {}

bool DisplayWatcher::stopRequested() const {
    return WaitForSingleObject(impl_->stopEvent, 0) == WAIT_OBJECT_0;
}

} // namespace snapshot
