// The element types of the database, in one list. Everything that must know
// every type (the tag enumeration, the record factory, the name table of the
// tools) expands this list, so a new element is one line here plus its class.
// Tags 0 to 15 and their record layouts are the stored format and never
// change; a new type takes the next tag.
#pragma once

#include <cstdint>
#include <string_view>

// X(tag, Class, allowed among preconditions, allowed among actions)
#define QUENWICK_ELEMENT_TYPES(X)            \
  X(0, FileExist, true, false)               \
  X(1, FolderExist, true, false)             \
  X(2, RegKeyExist, true, false)             \
  X(3, RegValueExist, true, false)           \
  X(4, RegValueDelete, false, true)          \
  X(5, RegKeyDelete, false, true)            \
  X(6, FileDelete, false, true)              \
  X(7, FolderDelete, false, true)            \
  X(8, StrConcat, true, true)                \
  X(9, GetRegValue, true, true)              \
  X(10, Uninstall, false, true)              \
  X(11, Antivirus2009Prec1, true, false)     \
  X(12, ExtractPathFromCommand, true, true)  \
  X(13, InnoSetupUninstall, false, true)     \
  X(14, KillProcess, false, true)            \
  X(15, ASDPrec1, true, true)                \
  X(16, RegValueRepair, false, true)

namespace quenwick {

enum class ElementType : std::uint32_t {
#define QUENWICK_ENUM_ENTRY(tag, cls, pre, act) cls = tag,
  QUENWICK_ELEMENT_TYPES(QUENWICK_ENUM_ENTRY)
#undef QUENWICK_ENUM_ENTRY
};

#define QUENWICK_COUNT_ENTRY(tag, cls, pre, act) +1
inline constexpr std::uint32_t kElementTypeCount = 0 QUENWICK_ELEMENT_TYPES(QUENWICK_COUNT_ENTRY);
#undef QUENWICK_COUNT_ENTRY

constexpr bool AllowedAsPrecondition(std::uint32_t tag) {
  switch (tag) {
#define QUENWICK_PRE_ENTRY(t, cls, pre, act) \
  case t:                                    \
    return pre;
    QUENWICK_ELEMENT_TYPES(QUENWICK_PRE_ENTRY)
#undef QUENWICK_PRE_ENTRY
  }
  return false;
}

constexpr bool AllowedAsAction(std::uint32_t tag) {
  switch (tag) {
#define QUENWICK_ACT_ENTRY(t, cls, pre, act) \
  case t:                                    \
    return act;
    QUENWICK_ELEMENT_TYPES(QUENWICK_ACT_ENTRY)
#undef QUENWICK_ACT_ENTRY
  }
  return false;
}

// The class name of a tag ("FileExist"), or empty for an unknown tag.
constexpr std::string_view ElementTypeName(std::uint32_t tag) {
  switch (tag) {
#define QUENWICK_NAME_ENTRY(t, cls, pre, act) \
  case t:                                     \
    return #cls;
    QUENWICK_ELEMENT_TYPES(QUENWICK_NAME_ENTRY)
#undef QUENWICK_NAME_ENTRY
  }
  return {};
}

}  // namespace quenwick
