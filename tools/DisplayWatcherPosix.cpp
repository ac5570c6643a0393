// The polling watcher: SIGINT and SIGTERM write a byte to a pipe that the wait
// polls, so that an interruption ends the wait at once and never a write.
#include "DisplayWatcher.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tools {

namespace {

volatile std::sig_atomic_t stopSignalled = 0;
int wakeWriteEnd = -1;

extern "C" void onStopSignal(int) {
    const int saved = errno;
    stopSignalled = 1;
    if (wakeWriteEnd >= 0) {
        const char byte = 1;
        const ssize_t written = write(wakeWriteEnd, &byte, 1); // a full pipe wakes as well
        (void)written;
    }
    errno = saved;
}

} // namespace

struct DisplayWatcher::Impl {
    std::chrono::milliseconds interval;
    int pipe[2] = {-1, -1};
    struct sigaction oldInterrupt {};
    struct sigaction oldTerminate {};
};

DisplayWatcher::DisplayWatcher(unsigned long intervalMilliseconds) : impl_(new Impl) {
    impl_->interval = std::chrono::milliseconds(intervalMilliseconds);
    if (::pipe(impl_->pipe) != 0) {
        throw std::runtime_error("cannot create the watcher's pipe");
    }
    for (const int end : impl_->pipe) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    stopSignalled = 0;
    wakeWriteEnd = impl_->pipe[1];
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a wait in progress returns
    sigaction(SIGINT, &action, &impl_->oldInterrupt);
    sigaction(SIGTERM, &action, &impl_->oldTerminate);
}

DisplayWatcher::~DisplayWatcher() {
    sigaction(SIGINT, &impl_->oldInterrupt, nullptr);
    sigaction(SIGTERM, &impl_->oldTerminate, nullptr);
    wakeWriteEnd = -1;
    close(impl_->pipe[0]);
    close(impl_->pipe[1]);
}

DisplayWatcher::Wake DisplayWatcher::wait() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + impl_->interval;
    for (;;) {
        if (stopSignalled != 0) {
            return Wake::Stop;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return Wake::Poll;
        }
        pollfd wake{impl_->pipe[0], POLLIN, 0};
        // Rounded up, so that the wait does not end a little early and spin.
        const int ready = poll(&wake, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno != EINTR) {
            return Wake::Poll;
        }
    }
}

bool DisplayWatcher::stopRequested() const {
    return stopSignalled != 0;
}

void DisplayWatcher::finished() {}

} // namespace tools
