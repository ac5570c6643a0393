// The polling watcher: stop() writes a byte to a pipe that the wait polls, so
// that a stop ends the wait at once, from any thread or a signal handler.
//
// A child of fork() shares the pipe with its parent: a stop in the child
// writes nothing (it would wake the parent, not the child, whose copy of the
// watcher has no thread), and the wait reads whatever it is woken by, so that
// nothing left in the pipe can make it spin.
#include "DisplayWatcher.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace snapshot {

struct DisplayWatcher::Impl {
    std::chrono::milliseconds interval{0};
    int pipe[2] = {-1, -1};
    // Lock-free, so that a signal handler may set it.
    std::atomic<bool> stopped{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "a flag that signal handlers may set");
    pid_t owner = getpid(); // the process whose thread waits
};

DisplayWatcher::DisplayWatcher(unsigned long intervalMilliseconds,
                               std::function<void(const std::string&)> /*trace*/)
    : impl_(new Impl) {
    impl_->interval = std::chrono::milliseconds(intervalMilliseconds);
    if (::pipe(impl_->pipe) != 0) {
        throw std::runtime_error("cannot create the display watcher's pipe");
    }
    for (const int end : impl_->pipe) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    }
}

DisplayWatcher::~DisplayWatcher() {
    releaseInherited();
}

void DisplayWatcher::releaseInherited() {
    for (int& end : impl_->pipe) {
        if (end >= 0) {
            close(end);
            end = -1;
        }
    }
}

DisplayWatcher::Wake DisplayWatcher::wait() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + impl_->interval;
    for (;;) {
        if (impl_->stopped.load()) {
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
        if (ready > 0) {
            char bytes[64];
            while (read(impl_->pipe[0], bytes, sizeof bytes) > 0) {
            }
        }
    }
}

void DisplayWatcher::stop() {
    const int saved = errno; // may run in a signal handler
    impl_->stopped.store(true);
    if (getpid() == impl_->owner && impl_->pipe[1] >= 0) {
        const char byte = 1;
        const ssize_t written = write(impl_->pipe[1], &byte, 1); // a full pipe wakes as well
        (void)written;
    }
    errno = saved;
}

bool DisplayWatcher::stopRequested() const {
    return impl_->stopped.load();
}

} // namespace snapshot
