#include <libVideoPortInfo/VideoPortFactoryWin7.h>

#include "DistinctIndex.h"
#include "PlatformLog.h"

#include <cstdint>
#include <cstring>

namespace libVideoPortInfo {

namespace {

tkl::Logger* factoryLogger = nullptr;

using PortHandle = tkl::SharedResource<tkl::PointerStorage<VideoPortWin7, 0, 3>, 0>;

/// A display target's identity: its adapter and its id; the source plays no part.
bool sameTarget(const DISPLAYCONFIG_PATH_TARGET_INFO& a, const DISPLAYCONFIG_PATH_TARGET_INFO& b) {
    return a.adapterId.HighPart == b.adapterId.HighPart &&
           a.adapterId.LowPart == b.adapterId.LowPart && a.id == b.id;
}

std::uint32_t hashOf(const DISPLAYCONFIG_PATH_TARGET_INFO& target) {
    return hashWords(std::uint64_t(static_cast<std::uint32_t>(target.adapterId.HighPart)) << 32 |
                         target.adapterId.LowPart,
                     target.id);
}

} // namespace

tkl::CopiedResource<tkl::PointerStorage<VideoPortFactory, 3, 2>> VideoPortFactoryWin7::factory() {
    // Built on the first call; a construction that throws is retried by the
    // next call. Destroyed when the library is unloaded or the program ends.
    static VideoPortFactoryWin7 instance;
    return tkl::CopiedResource<tkl::PointerStorage<VideoPortFactory, 3, 2>>(&instance);
}

VideoPortFactoryWin7::VideoPortFactoryWin7() : VideoPortFactory(), ports_(), lastReadFailure_() {
    enumeratePorts();
}

VideoPortFactoryWin7::~VideoPortFactoryWin7() {}

unsigned VideoPortFactoryWin7::numVideoPorts() const {
    return ports_.size();
}

tkl::CopiedResource<tkl::PointerStorage<VideoPort, 3, 2>>
VideoPortFactoryWin7::videoPort(unsigned index) const {
    return tkl::CopiedResource<tkl::PointerStorage<VideoPort, 3, 2>>(ports_[index].get());
}

bool VideoPortFactoryWin7::refresh() {
    return enumeratePorts();
}

VideoPortFactoryWin7::ReadFailure VideoPortFactoryWin7::lastReadFailure() const {
    return lastReadFailure_;
}

bool VideoPortFactoryWin7::enumeratePorts() {
    lastReadFailure_ = ReadFailure();
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    LONG result = GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &pathCount, &modeCount);
    if (result != ERROR_SUCCESS) {
        logPlatformResult(factoryLogger, platformLog::bufferSizesFailed, result);
        lastReadFailure_ = ReadFailure{"GetDisplayConfigBufferSizes", result};
        return false;
    }

    // The platform refuses a query with a null buffer or a zero count. With no
    // paths the configuration is empty: there is nothing to query. An empty
    // mode table (every path inactive) is given room for one record, which
    // the platform may leave unused; the trimming below drops it.
    if (pathCount == 0) {
        ports_.clear();
        return true;
    }
    tkl::Array<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    tkl::Array<DISPLAYCONFIG_MODE_INFO> modes(modeCount == 0 ? 1 : modeCount);
    modeCount = modes.size();
    // No retry when the configuration grew since the size query: that fails
    // like any other query, the last good list stays, and the caller may
    // refresh again. (The recorder, a one-shot program, retries instead.)
    result = QueryDisplayConfig(QDC_ALL_PATHS, &pathCount, paths.data(), &modeCount, modes.data(),
                                nullptr);
    if (result != ERROR_SUCCESS) {
        logPlatformResult(factoryLogger, platformLog::queryFailed, result);
        lastReadFailure_ = ReadFailure{"QueryDisplayConfig", result};
        return false;
    }

    // Keep only the records the query wrote: the configuration may have
    // shrunk since the size query.
    while (paths.size() > pathCount) {
        paths.remove(paths.size() - 1);
    }
    while (modes.size() > modeCount) {
        modes.remove(modes.size() - 1);
    }

    removeRedundantPathInfo(paths);

    // The new list is built aside and put in place only when complete, so an
    // exception while building a port leaves the previous list intact.
    // One block for the whole list, of the capacity that growth by appending
    // would reach. A port reads at most the two mode records its path
    // designates, from the snapshot's table itself: a copy of the table for
    // each port would make the work grow with ports x modes.
    tkl::Array<PortHandle> fresh;
    fresh.reserve(paths.size());
    for (unsigned i = 0; i < paths.size(); ++i) {
        PortHandle port(new VideoPortWin7(paths[i], &modes));
        fresh.append(port);
    }
    ports_.swap(fresh);
    return true; // the old ports die with `fresh`
}

void VideoPortFactoryWin7::removeRedundantPathInfo(tkl::Array<DISPLAYCONFIG_PATH_INFO>& paths) {
    // One pass: every path whose target has not been seen yet moves down to
    // the next kept place, so each record moves at most once and the
    // survivors keep their order; the removed tail is then cut off, which
    // moves nothing. The index has room for every path before the first
    // record moves: a failed allocation leaves the paths as they were.
    const unsigned count = paths.size();
    DISPLAYCONFIG_PATH_INFO* const table = paths.data();
    DistinctIndex seen; // the targets of table[0, kept)
    seen.reserve(count);
    unsigned kept = 0;
    for (unsigned i = 0; i < count; ++i) {
        const DISPLAYCONFIG_PATH_TARGET_INFO& target = table[i].targetInfo;
        const bool isNew = seen.addIfNew(hashOf(target), kept, [&](std::uint32_t k) {
            return sameTarget(table[k].targetInfo, target);
        });
        if (isNew) {
            if (kept != i) {
                std::memcpy(static_cast<void*>(&table[kept]), &table[i], sizeof(table[i]));
            }
            ++kept;
        }
    }
    while (paths.size() > kept) {
        paths.remove(paths.size() - 1);
    }
}

} // namespace libVideoPortInfo
