// Every element class, and dispatch from a list entry to its concrete class.
#pragma once

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

namespace quenwick::dbtool {

// Calls `visit(concrete)` with the element's own class (const) and returns
// its tag; returns kElementTypeCount when the object is of no known class.
template <class Base, class Visit>
std::uint32_t VisitConcrete(const Base& element, Visit&& visit) {
#define QUENWICK_VISIT_ENTRY(tag, cls, pre, act)                      \
  if constexpr (std::is_base_of_v<Base, cls>) {                       \
    if (const auto* concrete = dynamic_cast<const cls*>(&element)) {  \
      visit(*concrete);                                               \
      return tag;                                                     \
    }                                                                 \
  }
  QUENWICK_ELEMENT_TYPES(QUENWICK_VISIT_ENTRY)
#undef QUENWICK_VISIT_ENTRY
  return kElementTypeCount;
}

// Calls `make(std::unique_ptr<Class>)` with a new, empty object of the tag's
// class; returns false for an unknown tag.
template <class Make>
bool MakeElement(std::uint32_t tag, Make&& make) {
  switch (tag) {
#define QUENWICK_MAKE_ENTRY(t, cls, pre, act) \
  case t:                                     \
    make(std::make_unique<cls>());            \
    return true;
    QUENWICK_ELEMENT_TYPES(QUENWICK_MAKE_ENTRY)
#undef QUENWICK_MAKE_ENTRY
  }
  return false;
}

// The tag of a class name ("FileExist" -> 0), or kElementTypeCount.
std::uint32_t ElementTypeFromName(std::string_view name);

}  // namespace quenwick::dbtool
