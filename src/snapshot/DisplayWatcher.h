// Waits for the display configuration to change, for whoever follows it (the
// C interface's watches, videoports --watch).
//
// Windows: a hidden top-level window receives WM_DISPLAYCHANGE (sent to every
// top-level window when the desktop's mode or layout changes; a message-only
// window would not get it, broadcasts pass those by) and, registered for the
// monitor device interface, WM_DEVICECHANGE when a monitor arrives or goes.
// Messages in a burst are taken as one: the watcher wakes once the messages
// have been quiet for a moment, and once more a second later, since the
// platform's tables may show the change only after its message. It also
// wakes every polling interval, because not every change produces a message.
//
// Elsewhere it wakes every polling interval (the stand-in platform reads a
// changed recording again at the next enumeration).
//
// Threads: a watcher belongs to the thread that creates it and waits (on
// Windows its window does). stop() may be called from any thread, and from
// a signal handler (it only sets a flag and writes to a pipe or sets an
// event).
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace snapshot {

class DisplayWatcher {
public:
    enum class Wake {
        Message, // a display-change message (burst) arrived
        Poll,    // the polling interval passed
        Stop     // stop() was called
    };

    /// Starts watching with a polling interval in milliseconds. `trace`, when
    /// given, receives a line for each message and what the watcher did.
    explicit DisplayWatcher(unsigned long intervalMilliseconds,
                            std::function<void(const std::string&)> trace = {});
    ~DisplayWatcher();

    /// Waits for the next reason to look at the configuration again. Returns
    /// Stop at once, and from then on, once stop() was called.
    Wake wait();

    /// Makes wait() return Stop, now or at its next call.
    void stop();

    /// True once stop() was called.
    bool stopRequested() const;

    /// In a child of fork(): closes the child's copies of what the watcher
    /// holds, without touching what the parent's watcher uses. (Nothing to
    /// do on Windows.)
    void releaseInherited();

    DisplayWatcher(const DisplayWatcher&) = delete;
    DisplayWatcher& operator=(const DisplayWatcher&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace snapshot
