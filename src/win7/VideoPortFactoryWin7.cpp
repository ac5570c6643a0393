#include "VideoPortFactoryWin7.h"

#include "PlatformLog.h"

namespace libVideoPortInfo {

namespace {

tkl::Logger* factoryLogger = nullptr;

using PortHandle = tkl::SharedResource<tkl::PointerStorage<VideoPortWin7, 0, 3>, 0>;

} // namespace

tkl::CopiedResource<tkl::PointerStorage<VideoPortFactory, 3, 2>> VideoPortFactoryWin7::factory() {
    // Built on the first call; a construction that throws is retried by the
    // next call. Destroyed when the library is unloaded or the program ends.
    static VideoPortFactoryWin7 instance;
    return tkl::CopiedResource<tkl::PointerStorage<VideoPortFactory, 3, 2>>(&instance);
}

VideoPortFactoryWin7::VideoPortFactoryWin7() : VideoPortFactory(), ports_() {
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

bool VideoPortFactoryWin7::enumeratePorts() {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    LONG result = GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &pathCount, &modeCount);
    if (result != ERROR_SUCCESS) {
        logPlatformResult(factoryLogger, tkl::LoggerPriority::PRIORITY_WARNING, "46 ",
                          "GetDisplayConfigBufferSizes returns ", result);
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
    // like any other query, and the caller may refresh again.
    result = QueryDisplayConfig(QDC_ALL_PATHS, &pathCount, paths.data(), &modeCount, modes.data(),
                                nullptr);
    if (result != ERROR_SUCCESS) {
        logPlatformResult(factoryLogger, tkl::LoggerPriority::PRIORITY_WARNING, "57 ",
                          "QueryDisplayConfig returns ", result);
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
    tkl::Array<PortHandle> fresh;
    for (unsigned i = 0; i < paths.size(); ++i) {
        PortHandle port(new VideoPortWin7(paths[i], modes));
        fresh.append(port);
    }
    ports_.swap(fresh);
    return true; // the old ports die with `fresh`
}

void VideoPortFactoryWin7::removeRedundantPathInfo(tkl::Array<DISPLAYCONFIG_PATH_INFO>& paths) {
    for (unsigned i = 0; i < paths.size(); ++i) {
        for (unsigned k = i + 1; k < paths.size();) {
            const DISPLAYCONFIG_PATH_TARGET_INFO& first = paths[i].targetInfo;
            const DISPLAYCONFIG_PATH_TARGET_INFO& other = paths[k].targetInfo;
            if (other.adapterId.HighPart == first.adapterId.HighPart &&
                other.adapterId.LowPart == first.adapterId.LowPart && other.id == first.id) {
                paths.remove(k); // the next path moves into slot k
            } else {
                ++k;
            }
        }
    }
}

} // namespace libVideoPortInfo
