// Writing a file that another program may read at any moment, such as a
// metrics file that an exporter's textfile collector picks up.
#pragma once

#include <string>

namespace tools {

/// Replaces the file at `path` by one holding `contents`, in one step: the
/// contents go to a new temporary file in the same folder, which is then
/// renamed over `path`. A reader sees the old file or the new one, never a
/// part. The temporary file, ".videoports-XXXXXXXX.tmp" with a random part,
/// is hidden and not "*.prom", so a collector passes it by; it is created
/// exclusively, never through a file or link that is already there, and its
/// name fits beside any valid file name.
///
/// A file that exists keeps its mode, and its owner and group where the
/// process may set them (as root); failing to keep the owner is no error. On
/// Windows the new file takes the folder's inherited permissions.
///
/// Anything but a regular file at `path` (a device, a FIFO, a socket, a
/// folder) is refused with "not a regular file". A symbolic link at `path`
/// stays: the file it points to is replaced, through a temporary file in
/// that file's folder, and created when missing: a link in a collector's
/// folder to a file kept elsewhere stays as it was set up. Like the kernel's
/// protected_symlinks, a link that another user owns in a sticky
/// world-writable folder (such as /tmp) is refused instead of followed; so
/// is a link into /proc (/dev/stdout), which names an open file, not a path.
///
/// On Linux, while the temporary file exists, SIGINT and SIGTERM remove it,
/// then take their default action; a signal that is ignored, or that the
/// program handles itself, is left alone.
///
/// Returns why it failed, or an empty string; after a failure the temporary
/// file is gone and `path` is as it was. One call at a time.
std::string replaceFile(const std::string& path, const std::string& contents);

/// For the tests: where replaceFile stands when it calls the hook.
enum class ReplaceStep {
    creating, ///< about to create the temporary file exclusively
    renaming, ///< the temporary file is written and closed; the rename is next
};
using ReplaceFileHook = void (*)(ReplaceStep step, const std::string& temporary);

/// For the tests: replaceFile calls `hook` at each step with the temporary
/// file's path; nullptr, the default, for none.
void setReplaceFileHook(ReplaceFileHook hook);

} // namespace tools
