#include "Interruption.h"

#include <tkl/Logging.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace tools {

namespace {

snapshot::DisplayWatcher* interrupted = nullptr;

#ifdef _WIN32
// How long closing the console waits for the output in progress.
constexpr DWORD closeWaitMilliseconds = 4000;
HANDLE finishedEvent = nullptr; // set when the output in progress is complete

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        interrupted->stop();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends when this returns: let the line in progress end.
        interrupted->stop();
        WaitForSingleObject(finishedEvent, closeWaitMilliseconds);
        return TRUE;
    default:
        return FALSE;
    }
}
#else
struct sigaction oldInterrupt {};
struct sigaction oldTerminate {};

extern "C" void onStopSignal(int) {
    interrupted->stop(); // a flag and a write to a pipe: safe in a handler
}
#endif

} // namespace

StopOnInterruption::StopOnInterruption(snapshot::DisplayWatcher& watcher) {
    interrupted = &watcher;
#ifdef _WIN32
    finishedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a wait in progress returns
    sigaction(SIGINT, &action, &oldInterrupt);
    sigaction(SIGTERM, &action, &oldTerminate);
#endif
}

StopOnInterruption::~StopOnInterruption() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    finished();
#else
    sigaction(SIGINT, &oldInterrupt, nullptr);
    sigaction(SIGTERM, &oldTerminate, nullptr);
#endif
}

void StopOnInterruption::finished() {
#ifdef _WIN32
    if (finishedEvent != nullptr) {
        SetEvent(finishedEvent);
    }
#endif
}

void traceWatch(const std::string& text) {
    static tkl::Logger* logger = nullptr;
    if (logger == nullptr) {
        tkl::LogFactory::createLogger("videoports", logger);
    }
    tkl::LoggerStream message;
    message + text.c_str();
    logger->log(tkl::LoggerPriority::PRIORITY_DEBUG, message);
}

} // namespace tools
