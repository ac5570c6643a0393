// How many terminal columns text takes, for aligning tables.
#pragma once

#include <cstddef>
#include <string>

namespace tools {

/// The columns `utf8` takes in a terminal: two for each East Asian wide or
/// fullwidth character (CJK, Hangul syllables, fullwidth forms, most emoji),
/// none for a combining mark (general category Mn or Me) or an invisible
/// format character (Cf, such as ZERO WIDTH JOINER), one for any other
/// character. Each ill-formed UTF-8 sequence counts as the one U+FFFD that
/// the tree's text converter makes of it. The properties are those of the
/// Unicode Character Database the build was made with.
std::size_t displayWidth(const std::string& utf8);

} // namespace tools
