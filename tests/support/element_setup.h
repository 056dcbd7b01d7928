// Building Definitions by hand in tests: elements appended to the lists with
// their owner set, as the database reader would.
#pragma once

#include <memory>
#include <utility>

#include "engine/definition.h"

namespace quenwick::testing_support {

template <class Element>
Element& AddPrecondition(Definition& definition) {
  auto element = std::make_unique<Element>();
  element->owner = &definition;
  Element& result = *element;
  definition.preconditions.push_back(std::move(element));
  return result;
}

template <class Element>
Element& AddAction(Definition& definition) {
  auto element = std::make_unique<Element>();
  element->owner = &definition;
  Element& result = *element;
  definition.actions.push_back(std::move(element));
  return result;
}

}  // namespace quenwick::testing_support
