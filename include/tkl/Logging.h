#pragma once

#include <tkl/CommonExport.h>

#include <string>

namespace tkl {

struct LoggerPriority {
    /// Ordered from most verbose to most severe. A message of priority P is
    /// written when P reaches both the global threshold and the logger's own.
    /// (Prefixed names: <windows.h> defines ERROR as a macro.)
    enum LOGGER_PRIORITY {
        PRIORITY_TRACE = 0,
        PRIORITY_DEBUG = 1,
        PRIORITY_INFO = 2,
        PRIORITY_WARNING = 3,
        PRIORITY_ERROR = 4,
        PRIORITY_FATAL = 5
    };

    /// "TRACE", "DEBUG", ... ; "UNKNOWN" for a value outside the enumeration.
    static TKL_COMMON_API const char* name(LOGGER_PRIORITY priority);
};

/// The text of one log message, built piece by piece.
class TKL_COMMON_API LoggerStream {
public:
    LoggerStream();
    ~LoggerStream();

    LoggerStream& operator+(const char* text);
    LoggerStream& operator<<(unsigned number);

    const std::string& text() const { return text_; }

private:
    LoggerStream(const LoggerStream&) = delete;
    LoggerStream& operator=(const LoggerStream&) = delete;

    std::string text_;
};

/// A named logger. Loggers are made and owned by LogFactory and live until
/// the process ends; callers keep plain pointers to them.
class TKL_COMMON_API Logger {
public:
    /// The logger's own threshold, read directly by callers before they build
    /// a message. Defaults to PRIORITY_TRACE: everything passes.
    int priority;

    /// The threshold in force for this logger: the higher of the two, an own
    /// threshold outside TRACE to FATAL counting as the nearer end.
    LoggerPriority::LOGGER_PRIORITY resolvePriority() const;

    /// Writes one line: the logger's name, the priority's name and the
    /// message. Returns false when the message was below a threshold.
    bool log(LoggerPriority::LOGGER_PRIORITY priority, const LoggerStream& message);

    const std::string& name() const { return name_; }

private:
    friend class LogFactory;
    explicit Logger(const char* name);
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    std::string name_;
};

class TKL_COMMON_API LogFactory {
public:
    /// The global threshold. Taken from the environment variable
    /// TKL_LOG_PRIORITY on first use: a whole decimal number, clamped to
    /// TRACE..FATAL; PRIORITY_WARNING when it is unset or not a number.
    static LoggerPriority::LOGGER_PRIORITY getPriority();
    static void setPriority(LoggerPriority::LOGGER_PRIORITY priority);

    /// Stores in `out` the logger of that name, making it on first request;
    /// never null. The same name always gives the same logger.
    static void createLogger(const char* name, Logger*& out);

    /// Where finished lines go: standard error unless a sink is set. A sink
    /// receives each line without its trailing newline. Passing null
    /// restores standard error.
    using Sink = void (*)(const char* line, void* context);
    static void setSink(Sink sink, void* context);
    /// The sink set now (null for standard error) and its context, so that
    /// whoever sets another for a while can put it back.
    static Sink getSink(void*& context);
};

} // namespace tkl
