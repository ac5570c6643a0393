// Writing a file that another program may read at any moment, such as a
// metrics file that an exporter's textfile collector picks up.
#pragma once

#include <string>

namespace tools {

/// Replaces the file at `path` by one holding `contents`, in one step: the
/// contents go to a temporary file beside it ("<path>.<process id>.tmp",
/// which a collector of "*.prom" files passes by), which is then renamed
/// over `path`. A reader sees the old file or the new one, never a part.
/// Returns why it failed, or an empty string; after a failure the temporary
/// file is gone and `path` is as it was.
std::string replaceFile(const std::string& path, const std::string& contents);

} // namespace tools
