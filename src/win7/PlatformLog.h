#pragma once

#include <tkl/Logging.h>

namespace libVideoPortInfo {
namespace {

/// Logs "<line> <text><result>" through the logger "libVideoPortInfo" when both
/// thresholds admit `priority`. The logger is looked up once per calling unit
/// and kept in `logger` for the life of the process.
inline void logPlatformResult(tkl::Logger*& logger, tkl::LoggerPriority::LOGGER_PRIORITY priority,
                              const char* line, const char* text, long result) {
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
    stream + line + text;
    stream << static_cast<unsigned>(result);
    logger->log(priority, stream);
}

} // namespace
} // namespace libVideoPortInfo
