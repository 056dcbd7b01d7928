#include "elements/antivirus2009_prec1.h"

#include <optional>
#include <string_view>

#include "elements/antivirus2009_decode.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "platform/platform.h"
#include "system/registry_handle.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {

// The enumeration buffer holds 34 characters and the terminator: room for a
// 32-digit name and a little more. Longer names come back as ERROR_MORE_DATA
// and are passed over.
constexpr win::DWORD kNameCapacity = 35;
constexpr std::size_t kFamilyKeyNameLength = 32;
// Failures other than a name too long for the buffer that follow one another
// without a success in between. A key deleted while it is enumerated fails
// every index the same way; without a bound the walk would go through all
// four billion of them.
constexpr unsigned kMaxConsecutiveEnumerationFailures = 64;

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsFamilyKeyName(std::u16string_view name) {
  if (name.size() != kFamilyKeyNameLength) return false;
  for (char16_t c : name) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}

// The path that `key` holds. When the path value exists it alone counts,
// plain before decoded; otherwise every value is tried plain, then every value
// decoded, so that a plain path anywhere wins over a decoded one.
std::optional<std::u16string> ProgramPathIn(const RegistryKey& key,
                                            const Antivirus2009Prec1& element) {
  const auto& tables = element.SubstitutionTables;
  if (const RegistryValue* value = key.FindValue(element.pathValueName)) {
    std::u16string text = value->Text();
    if (IsExePath(text, element.exeSuffix)) return text;
    std::u16string decoded = DecodePath(text, tables);
    if (IsExePath(decoded, element.exeSuffix)) return decoded;
    return std::nullopt;
  }
  for (const RegistryValue& candidate : key.values) {
    std::u16string text = candidate.Text();
    if (IsExePath(text, element.exeSuffix)) return text;
  }
  for (const RegistryValue& candidate : key.values) {
    std::u16string decoded = DecodePath(candidate.Text(), tables);
    if (IsExePath(decoded, element.exeSuffix)) return decoded;
  }
  return std::nullopt;
}

// Loads the candidate key named `name` and looks for the program's path in
// its options subkey, or in the key itself when it has none.
std::optional<std::u16string> FamilyProgramPath(std::u16string_view name,
                                                const Antivirus2009Prec1& element) {
  std::u16string path = element.keyPrefix;
  AppendText(path, name);
  RegistryKey key(path);
  // A text that does not parse names nothing; it never reaches the registry.
  if (key.IsValid()) key.LoadTree();
  const RegistryKey* options = key.FindSubkey(element.optionsKeyName);
  std::optional<std::u16string> found = ProgramPathIn(options ? *options : key, element);
  key.Release();
  return found;
}

}  // namespace

std::int32_t Antivirus2009Prec1::Check() {
  ScopedRegistryKey base;
  if (base.Open(win::HKEY_CURRENT_USER, baseKey, win::KEY_READ) != win::ERROR_SUCCESS) return 0;

  unsigned failuresInARow = 0;
  for (win::DWORD index = 0;; ++index) {
    char16_t name[kNameCapacity] = {};
    win::DWORD length = kNameCapacity;
    const win::LSTATUS status =
        Sys().RegEnumKeyExW(base.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS)) return 0;
    if (status != win::ERROR_SUCCESS) {
      if (status == static_cast<win::LSTATUS>(win::ERROR_MORE_DATA)) continue;
      if (++failuresInARow >= kMaxConsecutiveEnumerationFailures) return 0;
      continue;
    }
    failuresInARow = 0;

    const std::u16string_view keyName(name, length < kNameCapacity ? length : kNameCapacity - 1);
    if (!IsFamilyKeyName(keyName)) continue;
    std::optional<std::u16string> programPath = FamilyProgramPath(keyName, *this);
    if (!programPath) continue;

    // Both slots are checked before either is written, so that a damaged
    // index can neither leave one of them half updated nor wrap around to
    // slot 0.
    const std::uint64_t nameSlot = std::uint64_t{firstVariable} + 1;
    if (nameSlot >= owner->variables.size()) throw EmptySlotError(firstVariable);
    owner->SetVariable(firstVariable, std::move(*programPath));
    owner->SetVariable(static_cast<std::uint32_t>(nameSlot), std::u16string(keyName));
    return 1;
  }
}

}  // namespace quenwick
