// The fields of each element class as the source format names them, in the
// order a source file lists them. The reader, the writer and the linter all
// walk this one description, so a field is named in exactly one place.
//
// A visitor offers:
//   Operand(key, Operand&, FieldRole)        literal text or variable reference
//   Text(key, std::u16string&, FieldRole)    plain text, always literal
//   Target(key, std::uint32_t&)              variable slot the element writes
//   TargetPair(key, std::uint32_t&)          the slot and the next one are written
//   Tables(key, std::array<uint8_t,1024>&)   Antivirus2009Prec1's table block
// (with const references when the element is const).
#pragma once

#include <concepts>
#include <type_traits>

#include "element_classes.h"

namespace quenwick::dbtool {

// What a text means, for the linter's checks.
enum class FieldRole {
  kFilePath,        // a file path with an optional leading macro
  kFolderPath,      // a folder path with an optional leading macro
  kProgram,         // a program path or a command line that starts with one
  kRegistryKey,     // root name, backslash, subkey path
  kRegistryPrefix,  // a registry path to which a name is appended
  kValueName,
  kCommandLine,
  kArguments,
  kPattern,         // ASDPrec1's search text
  kMarker,          // RegValueRepair's search text: a path with an optional leading macro
  kSetting,         // RegValueRepair's replacement, written as it stands
  kExeSuffix,
  kOther,
};

template <class E, class Class>
concept ElementOf = std::same_as<std::remove_const_t<E>, Class>;

template <ElementOf<FileExist> E, class V>
void VisitFields(E& e, V& v) { v.Operand("path", e.path, FieldRole::kFilePath); }

template <ElementOf<FolderExist> E, class V>
void VisitFields(E& e, V& v) { v.Operand("path", e.path, FieldRole::kFolderPath); }

template <ElementOf<RegKeyExist> E, class V>
void VisitFields(E& e, V& v) { v.Operand("key", e.key, FieldRole::kRegistryKey); }

template <ElementOf<RegValueExist> E, class V>
void VisitFields(E& e, V& v) {
  v.Operand("key", e.key, FieldRole::kRegistryKey);
  v.Operand("value_name", e.valueName, FieldRole::kValueName);
}

template <ElementOf<RegValueDelete> E, class V>
void VisitFields(E& e, V& v) {
  v.Operand("key", e.key, FieldRole::kRegistryKey);
  v.Operand("value_name", e.valueName, FieldRole::kValueName);
}

template <ElementOf<RegKeyDelete> E, class V>
void VisitFields(E& e, V& v) { v.Operand("key", e.key, FieldRole::kRegistryKey); }

template <ElementOf<FileDelete> E, class V>
void VisitFields(E& e, V& v) { v.Operand("path", e.path, FieldRole::kFilePath); }

template <ElementOf<FolderDelete> E, class V>
void VisitFields(E& e, V& v) { v.Operand("path", e.path, FieldRole::kFolderPath); }

template <ElementOf<StrConcat> E, class V>
void VisitFields(E& e, V& v) {
  v.Operand("first", e.first, FieldRole::kOther);
  v.Operand("second", e.second, FieldRole::kOther);
  v.Target("target", e.target);
}

template <ElementOf<GetRegValue> E, class V>
void VisitFields(E& e, V& v) {
  v.Operand("key", e.keyPath, FieldRole::kRegistryKey);
  v.Operand("value_name", e.valueName, FieldRole::kValueName);
  v.Target("target", e.target);
}

template <ElementOf<Uninstall> E, class V>
void VisitFields(E& e, V& v) {
  v.Operand("program", e.program, FieldRole::kProgram);
  v.Operand("arguments", e.arguments, FieldRole::kArguments);
}

template <ElementOf<Antivirus2009Prec1> E, class V>
void VisitFields(E& e, V& v) {
  v.TargetPair("first_variable", e.firstVariable);
  v.Text("base_key", e.baseKey, FieldRole::kOther);
  v.Text("key_prefix", e.keyPrefix, FieldRole::kRegistryPrefix);
  v.Text("options_key", e.optionsKeyName, FieldRole::kOther);
  v.Text("path_value", e.pathValueName, FieldRole::kValueName);
  v.Text("exe_suffix", e.exeSuffix, FieldRole::kExeSuffix);
  v.Tables("tables", e.SubstitutionTables);
}

template <ElementOf<ExtractPathFromCommand> E, class V>
void VisitFields(E& e, V& v) {
  v.Operand("command", e.command, FieldRole::kCommandLine);
  v.Target("target", e.target);
}

template <ElementOf<InnoSetupUninstall> E, class V>
void VisitFields(E& e, V& v) {
  v.Text("key_prefix", e.keyPrefix, FieldRole::kRegistryPrefix);
  v.Operand("application_key", e.applicationKey, FieldRole::kOther);
  v.Text("value_name", e.valueName, FieldRole::kValueName);
  v.Text("arguments", e.arguments, FieldRole::kArguments);
}

template <ElementOf<KillProcess> E, class V>
void VisitFields(E& e, V& v) { v.Operand("program", e.target, FieldRole::kProgram); }

template <ElementOf<ASDPrec1> E, class V>
void VisitFields(E& e, V& v) { v.Text("pattern", e.pattern, FieldRole::kPattern); }

template <ElementOf<RegValueRepair> E, class V>
void VisitFields(E& e, V& v) {
  v.Operand("key", e.key, FieldRole::kRegistryKey);
  v.Operand("value_name", e.valueName, FieldRole::kValueName);
  v.Operand("marker", e.marker, FieldRole::kMarker);
  v.Operand("replacement", e.replacement, FieldRole::kSetting);
}

// Table block layout in sources: 16 rows of 64 numbers.
inline constexpr std::size_t kTableRows = 16;
inline constexpr std::size_t kTableColumns = 64;
static_assert(kTableRows * kTableColumns == Antivirus2009Prec1::kTableBlockSize);

}  // namespace quenwick::dbtool
