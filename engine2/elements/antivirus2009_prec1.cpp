#include "elements/antivirus2009_prec1.h"

#include <optional>
#include <string_view>

#include "elements/antivirus2009_decode.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {

// Names are read 34 characters at most: room for a 32-digit name and a
// little more. Longer names are passed over.
constexpr std::size_t kMaxNameLength = 34;
constexpr std::size_t kFamilyKeyNameLength = 32;

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
  // A key that does not load is empty and holds no path: no need to ask.
  if (key.IsValid()) (void)key.LoadTree();
  const RegistryKey* options = key.FindSubkey(element.optionsKeyName);
  return ProgramPathIn(options ? *options : key, element);
}

}  // namespace

std::int32_t Antivirus2009Prec1::Check() {
  std::int32_t found = 0;
  ForEachSubkeyName(win::HKEY_CURRENT_USER, baseKey, kMaxNameLength, [&](std::u16string_view keyName) {
    if (!IsFamilyKeyName(keyName)) return true;
    std::optional<std::u16string> programPath = FamilyProgramPath(keyName, *this);
    if (!programPath) return true;

    // Both slots are checked before either is written, so that a damaged
    // index can neither leave one of them half updated nor wrap around to
    // slot 0.
    const std::uint64_t nameSlot = std::uint64_t{firstVariable} + 1;
    if (nameSlot >= owner->variables.size()) throw EmptySlotError(firstVariable);
    owner->SetVariable(firstVariable, std::move(*programPath));
    owner->SetVariable(static_cast<std::uint32_t>(nameSlot), std::u16string(keyName));
    found = 1;
    return false;
  });
  return found;
}

}  // namespace quenwick
