#include "system/named_path.h"

#include "base/lexical_path.h"
#include "platform/platform.h"
#include "system/protected_places.h"
#include "system/removal_calls.h"

namespace quenwick {

std::u16string ResolveNamedPath(std::u16string_view path) {
  if (path.size() >= removal::kMaxLongPath) return std::u16string(path);
  std::u16string resolved = ResolvePathDots(path);
  if (!IsRootedNormalPath(resolved) || !removal::HasNameThatClassicRulesChange(resolved)) {
    return IsRootedNormalPath(resolved) ? resolved : std::u16string(path);
  }
  Platform& os = Sys();
  // The exact name: CallPath gives such a path the "\\?\" form, in which
  // nothing is trimmed.
  if (os.GetFileAttributesW(removal::CallPath(resolved).c_str()) != win::INVALID_FILE_ATTRIBUTES) {
    return resolved;
  }
  // Otherwise what the ordinary rules make of it.
  std::u16string buffer(removal::kMaxLongPath + 1, u'\0');
  const win::DWORD length = os.GetFullPathNameW(resolved.c_str(), static_cast<win::DWORD>(buffer.size()),
                                                buffer.data(), nullptr);
  if (length == 0 || length >= buffer.size()) return resolved;
  buffer.resize(length);
  return buffer;
}

}  // namespace quenwick
