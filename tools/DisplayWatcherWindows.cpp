// The Windows watcher: a hidden top-level window for the display-change
// messages, its timers for the quiet period after a burst and for polling,
// and a console control handler that asks it to stop.
#include "DisplayWatcher.h"

#include <windows.h>

#include <dbt.h>

#include <string>

namespace tools {

namespace {

// GUID_DEVINTERFACE_MONITOR, the device interface of monitors.
const GUID monitorInterface = {
    0xe6f07b5f, 0xee97, 0x4a90, {0xb0, 0x76, 0x33, 0xf5, 0x7b, 0xf4, 0xea, 0xa7}};

constexpr UINT_PTR pollTimer = 1;
constexpr UINT_PTR quietTimer = 2;
// How long the messages of one change must be quiet before the refresh: a
// change of several outputs arrives as several messages.
constexpr UINT quietMilliseconds = 250;
// How long closing the console waits for the output in progress.
constexpr DWORD closeWaitMilliseconds = 4000;

HANDLE stopEvent = nullptr;     // set by an interruption; manual reset
HANDLE finishedEvent = nullptr; // set when the program has finished its output

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        SetEvent(stopEvent);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends when this returns: let the line in progress end.
        SetEvent(stopEvent);
        WaitForSingleObject(finishedEvent, closeWaitMilliseconds);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

struct DisplayWatcher::Impl {
    DWORD interval = 0;
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
            traceWatch("watch: WM_DISPLAYCHANGE " + std::to_string(LOWORD(lParam)) + "x" +
                       std::to_string(HIWORD(lParam)) + ", " + std::to_string(wParam) + " bpp");
            settle();
            return true;
        case WM_DEVICECHANGE:
            traceWatch("watch: WM_DEVICECHANGE " + deviceEventName(wParam));
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
                wParam == DBT_DEVNODES_CHANGED) {
                settle();
            }
            return true;
        case WM_TIMER:
            if (wParam == quietTimer) {
                KillTimer(window, quietTimer);
                quietPending = false;
                wakeWith(Wake::Message);
            } else if (wParam == pollTimer && !quietPending) {
                wakeWith(Wake::Poll); // a refresh after the messages comes anyway
            }
            return wParam == quietTimer || wParam == pollTimer;
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
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = L"videoports display watcher";
        RegisterClassExW(&windowClass);
        // Top-level (no parent) and never shown: it receives the broadcasts.
        window = CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"videoports",
                                 WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
        if (window == nullptr) {
            traceWatch("watch: no window (error " + std::to_string(GetLastError()) +
                       "): polling only");
            return;
        }
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = monitorInterface;
        notification = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (notification == nullptr) {
            traceWatch("watch: no monitor arrival notifications (error " +
                       std::to_string(GetLastError()) + ")");
        }
        SetTimer(window, pollTimer, interval, nullptr);
    }
};

DisplayWatcher::DisplayWatcher(unsigned long intervalMilliseconds) : impl_(new Impl) {
    impl_->interval = static_cast<DWORD>(intervalMilliseconds);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    finishedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    impl_->createWindow();
}

DisplayWatcher::~DisplayWatcher() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    if (impl_->notification != nullptr) {
        UnregisterDeviceNotification(impl_->notification);
    }
    if (impl_->window != nullptr) {
        DestroyWindow(impl_->window);
    }
    finished();
}

DisplayWatcher::Wake DisplayWatcher::wait() {
    if (impl_->window == nullptr) {
        return WaitForSingleObject(stopEvent, impl_->interval) == WAIT_OBJECT_0 ? Wake::Stop
                                                                                : Wake::Poll;
    }
    impl_->woken = false;
    while (!impl_->woken) {
        // Wakes for the stop event, posted and sent messages and timers alike.
        if (MsgWaitForMultipleObjects(1, &stopEvent, FALSE, INFINITE, QS_ALLINPUT) ==
            WAIT_OBJECT_0) {
            return Wake::Stop;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                SetEvent(stopEvent);
                return Wake::Stop;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return stopRequested() ? Wake::Stop : impl_->wake;
}

bool DisplayWatcher::stopRequested() const {
    return WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
}

void DisplayWatcher::finished() {
    if (finishedEvent != nullptr) {
        SetEvent(finishedEvent);
    }
}

} // namespace tools
