#include "database/element_factory.h"

#include <type_traits>

#include "elements/antivirus2009_prec1.h"
#include "elements/asd_prec1.h"
#include "elements/element_types.h"
#include "elements/extract_path_from_command.h"
#include "elements/file_delete.h"
#include "elements/file_exist.h"
#include "elements/folder_delete.h"
#include "elements/folder_exist.h"
#include "elements/get_reg_value.h"
#include "elements/inno_setup_uninstall.h"
#include "elements/kill_process.h"
#include "elements/reg_key_delete.h"
#include "elements/reg_key_exist.h"
#include "elements/reg_value_delete.h"
#include "elements/reg_value_exist.h"
#include "elements/reg_value_repair.h"
#include "elements/str_concat.h"
#include "elements/uninstall.h"

namespace quenwick {
namespace {

// The list rules must agree with the class hierarchy: a type may stand in a
// list exactly when its class has that list's base.
#define QUENWICK_CHECK_LIST_RULES(tag, cls, pre, act)                                      \
  static_assert(std::is_base_of_v<Precondition, cls> == (pre), #cls " precondition rule"); \
  static_assert(std::is_base_of_v<Action, cls> == (act), #cls " action rule");             \
  static_assert(cls::kType == static_cast<ElementType>(tag), #cls " tag");                \
  static_assert((tag) < kElementTypeCount, #cls " tag beyond the count");
QUENWICK_ELEMENT_TYPES(QUENWICK_CHECK_LIST_RULES)
#undef QUENWICK_CHECK_LIST_RULES

template <class Base, class Element>
std::unique_ptr<Base> ReadAs(Definition& owner, ByteReader& in) {
  if constexpr (std::is_base_of_v<Base, Element>) {
    return Element::Read(owner, in);
  } else {
    return nullptr;
  }
}

template <class Base, bool (*Allowed)(std::uint32_t)>
std::unique_ptr<Base> ReadListElement(Definition& owner, ByteReader& in) {
  std::uint32_t tag = 0;
  if (!in.PeekU32(tag) || !Allowed(tag)) {
    in.Fail();
    return nullptr;
  }
  std::unique_ptr<Base> element;
  switch (tag) {
#define QUENWICK_READ_ENTRY(t, cls, pre, act) \
  case t: element = ReadAs<Base, cls>(owner, in); break;
    QUENWICK_ELEMENT_TYPES(QUENWICK_READ_ENTRY)
#undef QUENWICK_READ_ENTRY
  }
  // Read only returns null for a tag of another type (impossible here) or a
  // damaged record; either way the record cannot be walked past.
  if (element == nullptr) in.Fail();
  return element;
}

}  // namespace

std::unique_ptr<Precondition> ReadPrecondition(Definition& owner, ByteReader& in) {
  return ReadListElement<Precondition, &AllowedAsPrecondition>(owner, in);
}

std::unique_ptr<Action> ReadAction(Definition& owner, ByteReader& in) {
  return ReadListElement<Action, &AllowedAsAction>(owner, in);
}

}  // namespace quenwick
