// The command-line conventions shared by the project's programs: an option's
// value follows as the next argument ("--port 1") or after an equals sign
// ("--port=1"); a number is digits only; an argument shown in a message is
// shortened. Errors are returned as messages, never acted on here: the
// program's main() alone decides what to print and how to exit.
#pragma once

#include <optional>
#include <string>

namespace tools {

/// An argument as a message shows it: at most 60 bytes, cut at a character
/// boundary, so that a huge argument does not flood the terminal.
std::string shown(const std::string& argument);

/// Walks a program's arguments, one at a time.
class CommandLine {
public:
    CommandLine(int argc, char** argv);

    /// Moves to the next argument; false when there is none left.
    bool next();
    /// The argument moved to last.
    const std::string& current() const { return current_; }

    /// True when the current argument is one of the flags given (a flag
    /// takes no value: "--json=1" is not "--json").
    bool is(const char* name, const char* alias = nullptr) const;

    /// True when the current argument is option `name` ("-o" style short
    /// names take the next argument only). Its value is then in `value`, or
    /// `value` is empty when a two-word option is the last argument; either
    /// way the argument holding the value has been consumed.
    bool option(const char* name, std::optional<std::string>& value);

private:
    int argc_;
    char** argv_;
    int index_ = 0;
    std::string current_;
};

/// Parses `text` (digits only: no sign, blank or base prefix) as a number from
/// 0 to `maximum` into `value`. Returns an error message naming `option`, or
/// an empty string on success.
std::string parseNumber(const std::string& option, const std::optional<std::string>& text,
                        unsigned long maximum, unsigned long& value);

/// Parses `text`, a number of seconds with at most three decimals ("2",
/// "0.25"), into milliseconds from `minimum` to `maximum`. Returns an error
/// message naming `option`, or an empty string on success.
std::string parseSeconds(const std::string& option, const std::optional<std::string>& text,
                         unsigned long minimum, unsigned long maximum, unsigned long& milliseconds);

} // namespace tools
