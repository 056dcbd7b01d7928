#include "elements/reg_key_delete.h"

#include <string_view>

#include "engine/definition.h"
#include "engine/operand.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {

// A key text whose path under the root is empty, or only backslashes, names
// a whole root key ("HKEY_LOCAL_MACHINE\"). Deleting its tree would delete
// every key under that root, so such a text (for instance one built from a
// rogue's own registry value that was left empty) deletes nothing.
bool NamesRootKey(std::u16string_view subkeyPath) {
  return subkeyPath.find_first_not_of(u'\\') == std::u16string_view::npos;
}

}  // namespace

std::int32_t RegKeyDelete::Execute() {
  const RegistryKey target(OperandText(key, *owner));
  // An unparsable text is a key that does not exist.
  if (!target.IsValid()) return static_cast<std::int32_t>(win::ERROR_FILE_NOT_FOUND);
  if (NamesRootKey(target.subkeyPath)) return static_cast<std::int32_t>(win::ERROR_ACCESS_DENIED);
  return target.DeleteTree();
}

}  // namespace quenwick
