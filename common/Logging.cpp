#include <tkl/Logging.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace tkl {

namespace {

struct LogState {
    bool priorityKnown = false;
    LoggerPriority::LOGGER_PRIORITY priority = LoggerPriority::PRIORITY_WARNING;
    LogFactory::Sink sink = nullptr;
    void* sinkContext = nullptr;
    std::map<std::string, std::unique_ptr<Logger>> loggers;
};

// Made on first use and never destroyed: libraries may log from their own
// static destructors, after this library's statics would be gone.
LogState& state() {
    static LogState* instance = new LogState;
    return *instance;
}

// An int as the nearest priority: the enumeration never holds a value
// outside TRACE to FATAL.
LoggerPriority::LOGGER_PRIORITY clampedPriority(long value) {
    if (value < LoggerPriority::PRIORITY_TRACE) {
        return LoggerPriority::PRIORITY_TRACE;
    }
    if (value > LoggerPriority::PRIORITY_FATAL) {
        return LoggerPriority::PRIORITY_FATAL;
    }
    return static_cast<LoggerPriority::LOGGER_PRIORITY>(value);
}

// TKL_LOG_PRIORITY: a whole decimal number (digits, optionally after a minus
// sign), clamped to TRACE..FATAL however many digits it has. Anything else,
// blanks included, is ignored in favour of the default, WARNING.
LoggerPriority::LOGGER_PRIORITY priorityFromEnvironment() {
    const char* text = std::getenv("TKL_LOG_PRIORITY");
    if (text == nullptr) {
        return LoggerPriority::PRIORITY_WARNING;
    }
    const bool negative = *text == '-';
    const char* digits = negative ? text + 1 : text;
    if (*digits == '\0') {
        return LoggerPriority::PRIORITY_WARNING;
    }
    long magnitude = 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return LoggerPriority::PRIORITY_WARNING;
        }
        // Past FATAL the exact value no longer matters; stop growing it.
        if (magnitude <= LoggerPriority::PRIORITY_FATAL) {
            magnitude = magnitude * 10 + (*p - '0');
        }
    }
    return clampedPriority(negative ? -magnitude : magnitude);
}

} // namespace

const char* LoggerPriority::name(LOGGER_PRIORITY priority) {
    switch (priority) {
    case PRIORITY_TRACE:
        return "TRACE";
    case PRIORITY_DEBUG:
        return "DEBUG";
    case PRIORITY_INFO:
        return "INFO";
    case PRIORITY_WARNING:
        return "WARNING";
    case PRIORITY_ERROR:
        return "ERROR";
    case PRIORITY_FATAL:
        return "FATAL";
    }
    return "UNKNOWN";
}

LoggerStream::LoggerStream() = default;
LoggerStream::~LoggerStream() = default;

LoggerStream& LoggerStream::operator+(const char* text) {
    if (text != nullptr) {
        text_ += text;
    }
    return *this;
}

LoggerStream& LoggerStream::operator<<(unsigned number) {
    text_ += std::to_string(number);
    return *this;
}

Logger::Logger(const char* name) : priority(LoggerPriority::PRIORITY_TRACE), name_(name) {}

LoggerPriority::LOGGER_PRIORITY Logger::resolvePriority() const {
    const LoggerPriority::LOGGER_PRIORITY global = LogFactory::getPriority();
    return priority > global ? clampedPriority(priority) : global;
}

bool Logger::log(LoggerPriority::LOGGER_PRIORITY messagePriority, const LoggerStream& message) {
    if (resolvePriority() > messagePriority) {
        return false;
    }
    const std::string line =
        name_ + ' ' + LoggerPriority::name(messagePriority) + ' ' + message.text();
    LogState& s = state();
    if (s.sink != nullptr) {
        s.sink(line.c_str(), s.sinkContext);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
    return true;
}

LoggerPriority::LOGGER_PRIORITY LogFactory::getPriority() {
    LogState& s = state();
    if (!s.priorityKnown) {
        s.priority = priorityFromEnvironment();
        s.priorityKnown = true;
    }
    return s.priority;
}

void LogFactory::setPriority(LoggerPriority::LOGGER_PRIORITY priority) {
    LogState& s = state();
    s.priority = priority;
    s.priorityKnown = true;
}

void LogFactory::createLogger(const char* name, Logger*& out) {
    const std::string key = name != nullptr ? name : "";
    LogState& s = state();
    std::unique_ptr<Logger>& slot = s.loggers[key];
    if (!slot) {
        slot.reset(new Logger(key.c_str()));
    }
    out = slot.get();
}

void LogFactory::setSink(Sink sink, void* context) {
    LogState& s = state();
    s.sink = sink;
    s.sinkContext = sink != nullptr ? context : nullptr;
}

LogFactory::Sink LogFactory::getSink(void*& context) {
    LogState& s = state();
    context = s.sinkContext;
    return s.sink;
}

} // namespace tkl
