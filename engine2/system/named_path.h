// What a path named by a Definition or by the machine (an autostart value, an
// uninstall string) refers to, decided once, the same way for detection, the
// guard and deletion.
#pragma once

#include <string>
#include <string_view>

namespace quenwick {

// "\." and "\.." resolved first; then, when a name in the path ends in a dot
// or a blank (which Windows' ordinary path rules trim), the object of exactly
// that name if one exists, otherwise the one the ordinary rules name. Any
// other path is only resolved for its dots: the ordinary rules and the exact
// name agree on it. The result is handed to the calls through CallPath, which
// gives it the long form wherever it needs one. Relative paths and paths too
// long for any call come back unchanged, for the guard to refuse.
std::u16string ResolveNamedPath(std::u16string_view path);

}  // namespace quenwick
