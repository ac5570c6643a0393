// How videoports --watch ends: SIGINT and SIGTERM, or on Windows Ctrl-C,
// Ctrl-Break and closing the console, ask the display watcher to stop, so
// that the program ends between two lines of output.
#pragma once

#include <DisplayWatcher.h>

namespace tools {

/// Takes over the interruptions for its lifetime and stops `watcher` on
/// each. One at a time.
class StopOnInterruption {
public:
    explicit StopOnInterruption(snapshot::DisplayWatcher& watcher);
    ~StopOnInterruption();

    /// Says that the output in progress is complete: closing the console
    /// waits for this (a few seconds at most) before the process ends.
    void finished();

    StopOnInterruption(const StopOnInterruption&) = delete;
    StopOnInterruption& operator=(const StopOnInterruption&) = delete;
};

/// Writes `text` as a debug line of the "videoports" logger: what the
/// watcher received and did, for --log-level 1.
void traceWatch(const std::string& text);

} // namespace tools
