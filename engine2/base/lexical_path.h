// Paths read as text only, without asking the file system: "." and ".."
// taken, separators collapsed, the long-path prefix dropped. This is the one
// place such steps are written; the program, the simulated machine and the
// tools build their own path forms on it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quenwick {

// The names of `path`, split at "\", with empty names and "." skipped and
// each ".." taking back the name before it; ".." never takes back one of the
// first `fixedNames` names (a UNC server and share).
std::vector<std::u16string_view> ResolvedNames(std::u16string_view path, std::size_t fixedNames = 0);

// True when a name of `path` (split at "\") is "." or "..".
bool HasDotName(std::u16string_view path);

// "." and ".." resolved and runs of "\" collapsed, no trailing "\". The
// drive ("C:\"), a UNC server and share ("\\server\share") or a leading "\"
// stay as the root that ".." cannot climb above. Only "\" separates.
std::u16string ResolveDots(std::u16string_view path);

// The path without a "\\?\" or "\\?\UNC\" prefix ("\\?\UNC\s\x" is "\\s\x").
std::u16string WithoutLongPrefix(std::u16string_view path);

// The path with every "/" as "\".
std::u16string WithBackslashes(std::u16string_view path);

// "\." and ".." resolved, "/" as "\", runs of "\" collapsed, no "\\?\"
// prefix and no trailing backslash, letter case kept.
std::u16string ResolvePathDots(std::u16string_view path);

}  // namespace quenwick
