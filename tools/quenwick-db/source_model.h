// A Definition as read from its source file, with the places of everything
// in the file so that messages can point at them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "engine/definition.h"

namespace quenwick::dbtool {

// Where one element and each of its fields stand in the source.
struct ElementSource {
  std::uint32_t type = 0;
  SourcePos where;                                      // the element's table
  std::map<std::string, SourcePos, std::less<>> fields;  // value position by key

  SourcePos FieldPos(std::string_view key) const {
    const auto it = fields.find(key);
    return it == fields.end() ? where : it->second;
  }
};

struct SourceDefinition {
  std::string file;  // as shown in messages
  std::string stem;  // file name without ".toml": the Definition's handle in fixtures
  std::unique_ptr<Definition> definition = std::make_unique<Definition>();
  std::vector<std::string> variableNames;  // by slot; may be shorter than the table
  std::vector<SourcePos> variablePos;      // where each name is declared
  SourcePos namePos, idPos, variablesPos;
  bool readErrors = false;  // the reader reported errors for this file
  // Parallel to definition->preconditions and definition->actions.
  std::vector<ElementSource> preconditions;
  std::vector<ElementSource> actions;

  // Source-only metadata; never written to the database.
  std::string description;
  std::vector<std::string> references;
  std::string date;

  // The name of a slot for messages: its declared name, or its number.
  std::string VariableLabel(std::uint32_t slot) const {
    if (slot < variableNames.size()) return "'" + variableNames[slot] + "'";
    return "#" + std::to_string(slot);
  }
};

}  // namespace quenwick::dbtool
