// One rogue application: its detection name, its variables, the preconditions
// that recognise it and the actions that remove it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/element.h"

namespace quenwick {

// The Definition's text variables: a fixed number of slots, each empty or
// holding one text. Written only through Definition::SetVariable.
class VariableTable {
 public:
  explicit VariableTable(std::uint32_t count = 0) : slots_(count) {}
  std::uint32_t size() const { return static_cast<std::uint32_t>(slots_.size()); }
  // Null when the slot is empty or does not exist.
  const std::u16string* Get(std::uint32_t index) const;
  // Releases the slot's old text and stores the new one (or empties it).
  // Returns false, changing nothing, when the slot does not exist.
  bool Set(std::uint32_t index, std::optional<std::u16string> text);

 private:
  std::vector<std::optional<std::u16string>> slots_;
};

class Definition {
 public:
  explicit Definition(std::uint32_t variableCount = 0) : variables(variableCount) {}
  Definition(const Definition&) = delete;
  Definition& operator=(const Definition&) = delete;

  // 1 when every precondition reported 1 (also when there are none); else the
  // first other result; -1 when a Check raised a failure.
  std::int32_t Scan();
  // Scans again; when that reports 1, prints "<name> found...", runs every
  // action (each under its own guard), prints " cleaned\n" and returns true.
  bool Clean();

  // Writes a variable slot. Raises EmptySlotError for a slot that does not
  // exist, so that a damaged index is contained like an empty slot.
  void SetVariable(std::uint32_t index, std::optional<std::u16string> text);

  VariableTable variables;
  std::vector<std::unique_ptr<Precondition>> preconditions;
  std::vector<std::unique_ptr<Action>> actions;
  std::u16string name;
  std::u16string id;
};

using DefinitionList = std::vector<std::unique_ptr<Definition>>;

// The clean pass: cleans every Definition in order under one guard scope, so
// that the protected places are read once for all of them and a locked file
// that several actions name is registered for the next start once. The
// number of Definitions cleaned.
unsigned CleanAll(DefinitionList& definitions);

}  // namespace quenwick
