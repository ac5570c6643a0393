#include "ReplaceFile.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <linux/magic.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#endif

namespace tools {

namespace {

ReplaceFileHook replaceHook = nullptr;

void reach(ReplaceStep step, const std::string& temporary) {
    if (replaceHook != nullptr) {
        replaceHook(step, temporary);
    }
}

// Names to try before giving up: each one taken is another writer's
// temporary file, or one planted there.
constexpr int nameAttempts = 100;

const char notRegular[] = "not a regular file";

// The folder part of `path`, with its separator: what a name in the same
// folder starts with ("" for the working folder).
std::string folderOf(const std::string& path) {
#ifdef _WIN32
    return path.substr(0, path.find_last_of("/\\:") + 1);
#else
    return path.substr(0, path.rfind('/') + 1);
#endif
}

std::uint64_t randomBits() {
    try {
        std::random_device device;
        return std::uint64_t{device()} << 32 | device();
    } catch (const std::exception&) {
        // The exclusive creation keeps it safe; the name is only easier to
        // guess, which lets another user make us try further names.
        const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        return static_cast<std::uint64_t>(ticks) * 0x9E3779B97F4A7C15u;
    }
}

// A temporary name in `folder`: 24 bytes, so it fits wherever the file's own
// name of up to 255 does; hidden, and not "*.prom".
std::string temporaryName(const std::string& folder) {
    static const char symbols[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t bits = randomBits();
    std::string name = folder + ".videoports-";
    for (int i = 0; i < 8; ++i, bits /= 36) {
        name += symbols[bits % 36];
    }
    return name + ".tmp";
}

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

// The path of the file that `handle` has open, all links followed, without
// the "\\?\" that the system puts in front.
std::string finalPath(HANDLE handle, std::string& path) {
    char buffer[MAX_PATH + 8];
    const DWORD length = GetFinalPathNameByHandleA(handle, buffer, sizeof buffer,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof buffer) {
        return systemMessage(length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    }
    path.assign(buffer, length);
    if (path.rfind("\\\\?\\UNC\\", 0) == 0) {
        path.erase(2, 6); // \\?\UNC\server\share is \\server\share
    } else if (path.rfind("\\\\?\\", 0) == 0) {
        path.erase(0, 4);
    }
    return "";
}

// Where writing `path` goes: refused when it is not a regular file; `target`
// becomes the file that a link at `path` points to.
std::string findTarget(const std::string& path, std::string& target) {
    target = path;
    // No access asked: neither a reader's sharing nor the file's permissions
    // stand in the way of looking.
    const HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return missing ? "" : systemMessage(error); // a missing folder fails at the creation
    }
    BY_HANDLE_FILE_INFORMATION information{};
    std::string failure;
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        failure = notRegular;
    } else {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            failure = finalPath(handle, target);
        }
    }
    CloseHandle(handle);
    return failure;
}

std::string writeAll(HANDLE file, const std::string& contents) {
    for (std::size_t done = 0; done < contents.size();) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(contents.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, contents.data() + done, chunk, &written, nullptr)) {
            return systemMessage(GetLastError());
        }
        done += written;
    }
    return "";
}
#else
// The signals that end a program run by hand, by cron or by a service
// manager. While the temporary file exists, their handler removes it.
constexpr int cleanupSignals[] = {SIGINT, SIGTERM};

std::atomic<const char*> pendingTemporary{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");

extern "C" void removeTemporaryAndEnd(int signal) {
    const char* temporary = pendingTemporary.load();
    if (temporary != nullptr) {
        unlink(temporary);
    }
    // SA_RESETHAND made the action the default one again: it ends the
    // process once this handler returns, as if this handler had not been.
    raise(signal);
}

// Removes the temporary file on the signals for its lifetime, where their
// action is the default one: an ignored signal (a background job's SIGINT)
// stays ignored, a program's own handler stays in charge.
class RemoveOnSignal {
public:
    RemoveOnSignal() {
        sigemptyset(&signals_);
        for (const int signal : cleanupSignals) {
            sigaddset(&signals_, signal);
        }
        struct sigaction action {};
        action.sa_handler = removeTemporaryAndEnd;
        action.sa_mask = signals_;
        action.sa_flags = SA_RESETHAND;
        for (std::size_t i = 0; i < std::size(cleanupSignals); ++i) {
            struct sigaction& old = old_[i];
            installed_[i] = sigaction(cleanupSignals[i], nullptr, &old) == 0 &&
                            (old.sa_flags & SA_SIGINFO) == 0 && old.sa_handler == SIG_DFL &&
                            sigaction(cleanupSignals[i], &action, nullptr) == 0;
        }
    }

    ~RemoveOnSignal() {
        for (std::size_t i = 0; i < std::size(cleanupSignals); ++i) {
            if (installed_[i]) {
                sigaction(cleanupSignals[i], &old_[i], nullptr);
            }
        }
    }

    // Holds the signals back while the temporary file comes or goes, so that
    // the handler knows its name for as long as it exists.
    void hold() { pthread_sigmask(SIG_BLOCK, &signals_, &held_); }
    void release() { pthread_sigmask(SIG_SETMASK, &held_, nullptr); }

    RemoveOnSignal(const RemoveOnSignal&) = delete;
    RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;

private:
    sigset_t signals_{};
    sigset_t held_{};
    struct sigaction old_[std::size(cleanupSignals)]{};
    bool installed_[std::size(cleanupSignals)] = {};
};

// Follows the symbolic links at `path` to the file they end at, which may
// not exist. A link that another user owns in a sticky world-writable folder
// is refused, as the kernel's protected_symlinks refuses it: it may have
// been planted to make us replace a file of our own elsewhere.
std::string followLinks(std::string& path) {
    constexpr int maxLinks = 40; // as the kernel
    for (int hop = 0; hop < maxLinks; ++hop) {
        struct stat link {};
        if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            return ""; // the caller looks at what is there
        }
        const std::string folder = folderOf(path);
        const char* folderName = folder.empty() ? "." : folder.c_str();
        struct stat shared {};
        constexpr mode_t stickyForAll = S_ISVTX | S_IWOTH;
        if (stat(folderName, &shared) == 0 && (shared.st_mode & stickyForAll) == stickyForAll &&
            link.st_uid != geteuid() && link.st_uid != shared.st_uid) {
            return "a symbolic link of another user in a shared folder";
        }
        struct statfs system {};
        if (statfs(folderName, &system) == 0 && system.f_type == PROC_SUPER_MAGIC) {
            // /dev/stdout's /proc/self/fd/1 names an open file, which may be
            // a log that the shell appends to: not a file to replace.
            return "a link to an open file, not to a path";
        }
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length < 0 || length == sizeof target) {
            return std::strerror(length < 0 ? errno : ENAMETOOLONG);
        }
        const std::string next(target, static_cast<std::size_t>(length));
        path = !next.empty() && next.front() == '/' ? next : folder + next;
    }
    return std::strerror(ELOOP);
}

std::string writeAll(int file, const std::string& contents) {
    for (std::size_t done = 0; done < contents.size();) {
        const ssize_t written = write(file, contents.data() + done, contents.size() - done);
        if (written < 0 && errno != EINTR) {
            return std::strerror(errno);
        }
        done += written < 0 ? 0 : static_cast<std::size_t>(written);
    }
    return "";
}
#endif

} // namespace

void setReplaceFileHook(ReplaceFileHook hook) {
    replaceHook = hook;
}

#ifdef _WIN32
std::string replaceFile(const std::string& path, const std::string& contents) {
    std::string target;
    if (std::string failure = findTarget(path, target); !failure.empty()) {
        return failure;
    }
    const std::string folder = folderOf(target);
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < nameAttempts && error == ERROR_FILE_EXISTS; ++attempt) {
        temporary = temporaryName(folder);
        reach(ReplaceStep::creating, temporary);
        file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        error = error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error;
    }
    if (file == INVALID_HANDLE_VALUE) {
        return systemMessage(error);
    }
    std::string failure = writeAll(file, contents);
    if (!CloseHandle(file) && failure.empty()) { // writes out what was buffered
        failure = systemMessage(GetLastError());
    }
    if (failure.empty()) {
        reach(ReplaceStep::renaming, temporary);
        failure = moveOver(temporary, target);
    }
    if (!failure.empty()) {
        DeleteFileA(temporary.c_str());
    }
    return failure;
}
#else
std::string replaceFile(const std::string& path, const std::string& contents) {
    // The kernel follows the links for this look, /dev/stdout's among them.
    struct stat existing {};
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) { // ENOENT: no file, or a link to none
        return std::strerror(errno);
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        return notRegular;
    }
    std::string target = path;
    if (std::string failure = followLinks(target); !failure.empty()) {
        return failure;
    }
    if (exists && (stat(target.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode))) {
        return notRegular; // changed while we looked
    }
    const std::string folder = folderOf(target);
    RemoveOnSignal cleanup;
    std::string temporary;
    int file = -1;
    int error = EEXIST;
    cleanup.hold();
    for (int attempt = 0; attempt < nameAttempts && error == EEXIST; ++attempt) {
        temporary = temporaryName(folder);
        reach(ReplaceStep::creating, temporary);
        // An existing file's mode is set below, before anything is written:
        // until then no one else may open it.
        file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    exists ? 0600 : 0666);
        error = file < 0 ? errno : 0;
    }
    pendingTemporary = file < 0 ? nullptr : temporary.c_str();
    cleanup.release();
    if (file < 0) {
        return std::strerror(error);
    }
    if (exists) {
        // The owner as root; others keep the group where they belong to it.
        // Not kept is no error: on file systems without owners or modes (FAT)
        // there is nothing to keep.
        [[maybe_unused]] const bool owned =
            fchown(file, existing.st_uid, existing.st_gid) == 0 ||
            fchown(file, static_cast<uid_t>(-1), existing.st_gid) == 0;
        fchmod(file, existing.st_mode & 07777); // after fchown, which clears set-id bits
    }
    std::string failure = writeAll(file, contents);
    if (close(file) != 0 && failure.empty()) {
        failure = std::strerror(errno);
    }
    if (failure.empty()) {
        reach(ReplaceStep::renaming, temporary);
    }
    cleanup.hold();
    if (failure.empty() && std::rename(temporary.c_str(), target.c_str()) != 0) {
        failure = std::strerror(errno);
    }
    if (!failure.empty()) {
        unlink(temporary.c_str());
    }
    pendingTemporary = nullptr;
    cleanup.release();
    return failure;
}
#endif

} // namespace tools
