#include "ReplaceFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tools {

namespace {

#ifdef _WIN32
std::string systemMessage(DWORD error) {
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

// Renames `from` over `to`. A reader that has `to` open without sharing its
// deletion (as the Windows exporter's collector opens it) makes the rename
// fail for as long as it reads: tried again for up to a second.
std::string moveOver(const std::string& from, const std::string& to) {
    constexpr int attempts = 20;
    constexpr DWORD pauseMilliseconds = 50;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return "";
        }
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesA(to.c_str());
        const bool directory =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
        if (!inUse || directory || attempt == attempts) {
            return systemMessage(error);
        }
        Sleep(pauseMilliseconds);
    }
}

unsigned long processId() {
    return GetCurrentProcessId();
}
#else
std::string moveOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? "" : std::strerror(errno);
}

unsigned long processId() {
    return static_cast<unsigned long>(getpid());
}
#endif

} // namespace

std::string replaceFile(const std::string& path, const std::string& contents) {
    const std::string temporary = path + "." + std::to_string(processId()) + ".tmp";
    errno = 0;
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return std::strerror(errno != 0 ? errno : EIO);
    }
    int error = 0;
    if (std::fwrite(contents.data(), 1, contents.size(), file) != contents.size()) {
        error = errno != 0 ? errno : EIO;
    }
    errno = 0;
    if (std::fclose(file) != 0 && error == 0) { // writes out what was buffered
        error = errno != 0 ? errno : EIO;
    }
    std::string failure = error != 0 ? std::strerror(error) : moveOver(temporary, path);
    if (!failure.empty()) {
        std::remove(temporary.c_str());
    }
    return failure;
}

} // namespace tools
