#include "elements/asd_prec1.h"

#include <algorithm>

#include "elements/userinit_entries.h"

namespace quenwick {

std::int32_t ASDPrec1::Check() {
  const std::optional<UserinitEntries> entries = ReadUserinitEntries();
  if (!entries) return 0;
  const bool found = std::any_of(entries->begin(), entries->end(), [this](const auto& entry) {
    return UserinitEntryMatches(entry, pattern);
  });
  return found ? 1 : 0;
}

std::int32_t ASDPrec1::Execute() {
  std::optional<UserinitEntries> entries = ReadUserinitEntries();
  if (!entries) return 0;
  std::erase_if(*entries,
                [this](const auto& entry) { return UserinitEntryMatches(entry, pattern); });
  // Written back every time, also when nothing matched: the list comes out in
  // the program's normal form, every entry followed by one comma. A failed
  // write leaves Windows the value it had, which still starts the user's
  // session; the clean goes on, as after any action.
  (void)WriteUserinitEntries(*entries);
  return 0;
}

}  // namespace quenwick
