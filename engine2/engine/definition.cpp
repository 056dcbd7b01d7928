#include "engine/definition.h"

#include "engine/element_observer.h"
#include "engine/operand.h"
#include "system/removal_guard.h"
#include "system/system_text.h"

namespace quenwick {
namespace {

ElementObserver* installedObserver = nullptr;

}  // namespace

ScopedElementObserver::ScopedElementObserver(ElementObserver& observer) : previous_(installedObserver) {
  installedObserver = &observer;
}

ScopedElementObserver::~ScopedElementObserver() { installedObserver = previous_; }

ElementObserver* CurrentElementObserver() { return installedObserver; }

const std::u16string* VariableTable::Get(std::uint32_t index) const {
  if (index >= slots_.size() || !slots_[index].has_value()) return nullptr;
  return &*slots_[index];
}

bool VariableTable::Set(std::uint32_t index, std::optional<std::u16string> text) {
  if (index >= slots_.size()) return false;
  slots_[index] = std::move(text);
  return true;
}

void Definition::SetVariable(std::uint32_t index, std::optional<std::u16string> text) {
  if (!variables.Set(index, std::move(text))) throw EmptySlotError(index);
}

std::int32_t Definition::Scan() {
  ElementObserver* const observer = installedObserver;
  std::size_t index = 0;
  try {
    for (; index < preconditions.size(); ++index) {
      if (observer) observer->BeforeElement(*this, ElementList::kPreconditions, index);
      const std::int32_t result = preconditions[index]->Check();
      if (observer) observer->AfterElement(*this, ElementList::kPreconditions, index, result);
      if (result != 1) return result;
    }
    return 1;
  } catch (...) {
    // An empty slot, an allocation failure or any other failure raised by a
    // Check ends the scan: the Definition is not found.
    if (observer) observer->AfterElement(*this, ElementList::kPreconditions, index, std::nullopt);
    return -1;
  }
}

bool Definition::Clean() {
  if (Scan() != 1) return false;
  WriteConsoleText(name + u" found...");
  ElementObserver* const observer = installedObserver;
  for (std::size_t index = 0; index < actions.size(); ++index) {
    if (observer) observer->BeforeElement(*this, ElementList::kActions, index);
    std::optional<std::int32_t> result;
    try {
      result = actions[index]->Execute();
    } catch (...) {
      // Contained: only this action is skipped.
    }
    if (observer) observer->AfterElement(*this, ElementList::kActions, index, result);
  }
  WriteConsoleText(u" cleaned\n");
  return true;
}

unsigned CleanAll(DefinitionList& definitions) {
  removal::GuardScope pass;
  unsigned cleaned = 0;
  for (auto& definition : definitions) {
    if (definition->Clean()) ++cleaned;
  }
  return cleaned;
}

}  // namespace quenwick
