#include "DisplayWatcher.h"

#include <tkl/Logging.h>

namespace tools {

void traceWatch(const std::string& text) {
    static tkl::Logger* logger = nullptr;
    if (logger == nullptr) {
        tkl::LogFactory::createLogger("videoports", logger);
    }
    tkl::LoggerStream message;
    message + text.c_str();
    logger->log(tkl::LoggerPriority::PRIORITY_DEBUG, message);
}

} // namespace tools
