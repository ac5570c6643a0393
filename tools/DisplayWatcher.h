// Waits for the display configuration to change, for videoports --watch.
//
// Windows: a hidden top-level window receives WM_DISPLAYCHANGE (sent to every
// top-level window when the desktop's mode or layout changes; a message-only
// window would not get it, broadcasts pass those by) and, registered for the
// monitor device interface, WM_DEVICECHANGE when a monitor arrives or goes.
// Messages in a burst are taken as one: the watcher wakes once the messages
// have been quiet for a moment. It also wakes every polling interval,
// because not every change produces a message. Ctrl-C, Ctrl-Break and
// closing the console ask it to stop.
//
// Elsewhere it wakes every polling interval; SIGINT and SIGTERM ask it to
// stop.
#pragma once

#include <memory>
#include <string>

namespace tools {

class DisplayWatcher {
public:
    enum class Wake {
        Message, // a display-change message (burst) arrived
        Poll,    // the polling interval passed
        Stop     // an interruption asked the program to end
    };

    /// Starts watching, with a polling interval in milliseconds, and takes
    /// over the interruption signals (or the console's control events) for
    /// the watcher's lifetime. One watcher at a time.
    explicit DisplayWatcher(unsigned long intervalMilliseconds);
    ~DisplayWatcher();

    /// Waits for the next reason to look at the configuration again. Returns
    /// Stop at once, and from then on, once an interruption came.
    Wake wait();

    /// True once an interruption came; it never interrupts output.
    bool stopRequested() const;

    /// Tells the watcher that the program has finished what it was doing when
    /// asked to stop (the console may wait for this before it ends the
    /// process).
    void finished();

    DisplayWatcher(const DisplayWatcher&) = delete;
    DisplayWatcher& operator=(const DisplayWatcher&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Writes `text` as a debug line of the "videoports" logger: what the
/// watcher received and did, for --log-level 1.
void traceWatch(const std::string& text);

} // namespace tools
