// Standard output as videoports writes it: everything written must reach it.
// A full disk or a closed output is a failure, remembered at the first write
// that fails and reported once, on standard error, when the program ends.
#pragma once

#include <string>

namespace tools {

class Output {
public:
    /// Makes standard output binary where the system would translate line
    /// ends, so that it carries the same bytes everywhere.
    Output();

    void write(const std::string& text);

    /// Pushes what was written out; false once a write failed.
    bool flush();

    /// `status`, or 1 after saying why when the output could not be written.
    int finish(int status);

    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

private:
    int error_ = 0; // the reason of the first failed write
};

} // namespace tools
