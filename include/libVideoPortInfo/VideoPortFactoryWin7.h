#pragma once

#include <libVideoPortInfo/VideoPortWin7.h>

#include <libVideoPortInfo/DesktopLayout.h>
#include <libVideoPortInfo/Platform.h>
#include <libVideoPortInfo/VideoPortFactory.h>
#include <tkl/Array.h>
#include <tkl/SharedResource.h>

#include <cstdint>
#include <optional>

namespace libVideoPortInfo {

/// The entry point: the one factory of the process, which owns the list of
/// video ports built from the display configuration.
///
/// Handles obtained from videoPort() (and the monitors reached through them)
/// stay valid until the next successful refresh() or the unloading of the
/// library. The factory and everything obtained from it are used from one
/// thread at a time.
class VPI_WIN7_API VideoPortFactoryWin7 : public VideoPortFactory {
public:
    /// The factory, created on the first call with a first enumeration whose
    /// failure is not reported (the list is then empty until a refresh()
    /// succeeds). If that first construction throws, a later call starts
    /// afresh.
    static tkl::CopiedResource<tkl::PointerStorage<VideoPortFactory, 3, 2>> factory();

    ~VideoPortFactoryWin7() override;

    unsigned numVideoPorts() const override;
    tkl::CopiedResource<tkl::PointerStorage<VideoPort, 3, 2>>
    videoPort(unsigned index) const override;
    /// Rebuilds the list. On failure to read the configuration, returns false
    /// and keeps the old list. An exception while building the new ports also
    /// keeps the old list, and passes on.
    bool refresh() override;

    /// Why the configuration could not be read: the platform operation that
    /// failed and the code it returned.
    struct ReadFailure {
        const char* operation = nullptr; // "GetDisplayConfigBufferSizes", "QueryDisplayConfig"
        long code = 0;
    };
    /// Whether the last reading (the first one in factory(), or the last
    /// refresh()) failed, and why: `operation` is null when it succeeded (or
    /// threw). A host that finds no port after factory() asks this instead
    /// of reading again, which would log the same failure twice.
    ReadFailure lastReadFailure() const;

    /// The port that shows desktop point (x, y), and whether the point is on
    /// it; else the port nearest to it (displayAtPoint() over the
    /// desktopPlace() bounds of the ports in use, so in the calling thread's
    /// coordinates; one vpiGetDesktopFacts per port in use). `index` is the
    /// port's videoPort() index: the first of a clone's ports. Empty when no
    /// port is in use.
    std::optional<DisplayAtPoint> portAtPoint(std::int32_t x, std::int32_t y) const;

private:
    VideoPortFactoryWin7();
    VideoPortFactoryWin7(const VideoPortFactoryWin7&) = delete;
    VideoPortFactoryWin7& operator=(const VideoPortFactoryWin7&) = delete;

    bool enumeratePorts();
    /// Keeps the first path to every display target (adapter and target id),
    /// in the platform's order.
    void removeRedundantPathInfo(tkl::Array<DISPLAYCONFIG_PATH_INFO>& paths);

    tkl::Array<tkl::SharedResource<tkl::PointerStorage<VideoPortWin7, 0, 3>, 0>> ports_;
    ReadFailure lastReadFailure_;
};

} // namespace libVideoPortInfo
