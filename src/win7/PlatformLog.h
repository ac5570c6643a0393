#pragma once

#include <tkl/Logging.h>

namespace libVideoPortInfo {
namespace {

/// One of the back-end's log messages: its id (the start of the line, with
/// its blank), its text (followed by the platform's result) and its priority.
struct PlatformLogMessage {
    const char* id;
    const char* text;
    tkl::LoggerPriority::LOGGER_PRIORITY priority;
};

/// Every message the back-end logs, in one place. Hosts and log readers match
/// on these lines, so they stay as they are, byte for byte.
namespace platformLog {
constexpr PlatformLogMessage bufferSizesFailed{"46 ", "GetDisplayConfigBufferSizes returns ",
                                               tkl::LoggerPriority::PRIORITY_WARNING};
constexpr PlatformLogMessage sourceNameFailed{"47 ", "DisplayConfigGetDeviceInfo returns ",
                                              tkl::LoggerPriority::PRIORITY_DEBUG};
constexpr PlatformLogMessage queryFailed{"57 ", "QueryDisplayConfig returns ",
                                         tkl::LoggerPriority::PRIORITY_WARNING};
constexpr PlatformLogMessage monitorNameFailed{"60 ",
                                               "Unable to get monitor name of an attached monitor ",
                                               tkl::LoggerPriority::PRIORITY_WARNING};
constexpr PlatformLogMessage adapterNameFailed{"88 ", "Unable to get adapter name ",
                                               tkl::LoggerPriority::PRIORITY_DEBUG};
constexpr PlatformLogMessage preferredModeFailed{"71 ", "Unable to get preferred mode setting ",
                                                 tkl::LoggerPriority::PRIORITY_WARNING};
// Asked on demand, and unanswered on many platforms (Windows before 10 1709
// and Wine have no advanced colour): never above debug.
constexpr PlatformLogMessage desktopFactsFailed{"89 ", "Unable to get desktop facts ",
                                                tkl::LoggerPriority::PRIORITY_DEBUG};
constexpr PlatformLogMessage advancedColorFailed{"90 ", "Unable to get advanced color info ",
                                                 tkl::LoggerPriority::PRIORITY_DEBUG};
// Asked on demand, for monitors that are connected but not in use and for
// EDIDs: an answer a host may not need, so only at debug priority.
constexpr PlatformLogMessage edidReadFailed{"101 ", "Unable to read the EDID of a monitor ",
                                            tkl::LoggerPriority::PRIORITY_DEBUG};
constexpr PlatformLogMessage connectedNameFailed{
    "102 ", "Unable to get monitor name of a connected monitor ",
    tkl::LoggerPriority::PRIORITY_DEBUG};
constexpr PlatformLogMessage connectedModeFailed{
    "103 ", "Unable to get preferred mode of a connected monitor ",
    tkl::LoggerPriority::PRIORITY_DEBUG};
} // namespace platformLog

/// Logs "<id> <text><result>" through the logger "libVideoPortInfo" when both
/// thresholds admit the message's priority. The logger is looked up once per
/// calling unit and kept in `logger` for the life of the process.
inline void logPlatformResult(tkl::Logger*& logger, const PlatformLogMessage& message,
                              long result) {
    const tkl::LoggerPriority::LOGGER_PRIORITY priority = message.priority;
    if (tkl::LogFactory::getPriority() > priority) {
        return;
    }
    if (logger == nullptr) {
        tkl::LogFactory::createLogger("libVideoPortInfo", logger);
    }
    if (logger->priority > priority || logger->resolvePriority() > priority) {
        return;
    }
    tkl::LoggerStream stream;
    stream + message.id + message.text;
    stream << static_cast<unsigned>(result);
    logger->log(priority, stream);
}

} // namespace
} // namespace libVideoPortInfo
