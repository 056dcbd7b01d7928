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

struct FamilyInfo;

struct SourceDefinition {
  std::string file;  // as shown in messages
  // The Definition's handle in fixtures: the file name without ".toml", or
  // "<family file stem>/<brand slug>" for a brand of a family source.
  std::string stem;
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

  // A brand of a family source: the family, the brand's name and the sources
  // that name the brand (`references` then holds the family's write-ups).
  std::shared_ptr<const FamilyInfo> family;
  std::string brand;
  std::vector<std::string> brandReferences;

  // The name of a slot for messages: its declared name, or its number.
  std::string VariableLabel(std::uint32_t slot) const {
    if (slot < variableNames.size()) return "'" + variableNames[slot] + "'";
    return "#" + std::to_string(slot);
  }
};

// What the brands of one family source share.
struct FamilyInfo {
  std::string name;  // the family's name as its source gives it
  std::string file;
  // The template read with the brand's name shown as "<Brand>" (and no id):
  // the common shape of every brand's Definition, for the catalogue.
  SourceDefinition pattern;
};

}  // namespace quenwick::dbtool
