// Builders of the path and mode records that tests script configurations
// with: an adapter's path from a source to a target, and the source and
// target mode records a path designates.
#pragma once

#include <standin/Configuration.h>

namespace standin {

inline DISPLAYCONFIG_PATH_INFO
makePath(LUID adapter, UINT32 sourceId, UINT32 targetId, UINT32 flags,
         DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY tech,
         UINT32 sourceModeIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID,
         UINT32 targetModeIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
    DISPLAYCONFIG_PATH_INFO path{};
    path.sourceInfo.adapterId = adapter;
    path.sourceInfo.id = sourceId;
    path.sourceInfo.modeInfoIdx = sourceModeIdx;
    path.sourceInfo.statusFlags =
        (flags & DISPLAYCONFIG_PATH_ACTIVE) ? DISPLAYCONFIG_SOURCE_IN_USE : 0;
    path.targetInfo.adapterId = adapter;
    path.targetInfo.id = targetId;
    path.targetInfo.modeInfoIdx = targetModeIdx;
    path.targetInfo.outputTechnology = tech;
    path.targetInfo.rotation = DISPLAYCONFIG_ROTATION_IDENTITY;
    path.targetInfo.scaling = DISPLAYCONFIG_SCALING_IDENTITY;
    path.targetInfo.scanLineOrdering = DISPLAYCONFIG_SCANLINE_ORDERING_UNSPECIFIED;
    path.targetInfo.targetAvailable = (flags & DISPLAYCONFIG_PATH_ACTIVE) ? TRUE : FALSE;
    path.targetInfo.statusFlags =
        (flags & DISPLAYCONFIG_PATH_ACTIVE) ? DISPLAYCONFIG_TARGET_IN_USE : 0;
    path.flags = flags;
    return path;
}

inline DISPLAYCONFIG_MODE_INFO makeSourceMode(LUID adapter, UINT32 sourceId, UINT32 width,
                                              UINT32 height, LONG x = 0, LONG y = 0) {
    DISPLAYCONFIG_MODE_INFO mode{};
    mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE;
    mode.id = sourceId;
    mode.adapterId = adapter;
    mode.sourceMode.width = width;
    mode.sourceMode.height = height;
    mode.sourceMode.pixelFormat = DISPLAYCONFIG_PIXELFORMAT_32BPP;
    mode.sourceMode.position = {x, y};
    return mode;
}

inline DISPLAYCONFIG_MODE_INFO makeTargetMode(LUID adapter, UINT32 targetId, UINT32 width,
                                              UINT32 height, UINT32 vSyncNumerator,
                                              UINT32 vSyncDenominator) {
    DISPLAYCONFIG_MODE_INFO mode{};
    mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_TARGET;
    mode.id = targetId;
    mode.adapterId = adapter;
    mode.targetMode.targetVideoSignalInfo =
        makeSignalInfo(width, height, vSyncNumerator, vSyncDenominator);
    return mode;
}

} // namespace standin
