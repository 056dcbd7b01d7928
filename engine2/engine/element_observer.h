// A watcher of the elements that Scan and Clean run, one at a time: what a
// tool installs to explain a run (which element held, which action changed
// what). The engine only calls it; it never prints or decides anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quenwick {

class Definition;

enum class ElementList { kPreconditions, kActions };

class ElementObserver {
 public:
  virtual void BeforeElement(const Definition& definition, ElementList list, std::size_t index) = 0;
  // `result` is what Check or Execute reported; nullopt when the element
  // raised a failure (an empty variable slot, ...) that the engine contained.
  virtual void AfterElement(const Definition& definition, ElementList list, std::size_t index,
                            std::optional<std::int32_t> result) = 0;

 protected:
  ~ElementObserver() = default;
};

// Installs `observer` for every Scan and Clean until the scope ends (one
// thread runs the engine, so there is one observer at a time).
class ScopedElementObserver {
 public:
  explicit ScopedElementObserver(ElementObserver& observer);
  ~ScopedElementObserver();
  ScopedElementObserver(const ScopedElementObserver&) = delete;
  ScopedElementObserver& operator=(const ScopedElementObserver&) = delete;

 private:
  ElementObserver* previous_;
};

// The installed observer, or null.
ElementObserver* CurrentElementObserver();

}  // namespace quenwick
