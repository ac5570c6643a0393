#include "Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace tools {

Output::Output() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // no CR before each LF
#endif
}

void Output::write(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
}

bool Output::flush() {
    errno = 0;
    if (std::fflush(stdout) != 0 && error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
    return error_ == 0 && std::ferror(stdout) == 0;
}

int Output::finish(int status) {
    if (!flush()) {
        std::fprintf(stderr, "videoports: cannot write the output: %s\n",
                     std::strerror(error_ != 0 ? error_ : EIO));
        return 1;
    }
    return status;
}

} // namespace tools
