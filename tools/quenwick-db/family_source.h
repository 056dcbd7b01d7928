// Family sources: one TOML file that lists the brands of a rogue family (each
// with its own name and id) and a template of their Definition, written once
// with "${name}" and "${id}" where a brand's name and id go. Reading it gives
// one plain Definition per brand, in the order the brands are listed.
//
// The brand's name is put into the file's text before the template is read,
// so every message about a brand's Definition points at the template's line
// in the family file. The danger is a name that changes what a path means
// ("..\Windows"): brand names that could are refused.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "diagnostics.h"
#include "source_model.h"
#include "toml_config.h"

namespace quenwick::dbtool {

// A "${...}" in a text; `closed` is false for a "${" that never closes.
struct Placeholder {
  std::string name;
  SourcePos pos;
  bool closed = true;
};

using PlaceholderValues = std::map<std::string, std::string, std::less<>>;

std::vector<Placeholder> FindPlaceholders(std::string_view text);
// Every closed placeholder that `values` knows replaced; others stay as they are.
std::string SubstitutePlaceholders(std::string_view text, const PlaceholderValues& values);

// The brand's part of its handle: letters lower-cased, every run of other
// ASCII characters one "-" ("Quick Heal Cleaner" -> "quick-heal-cleaner").
std::string BrandSlug(std::string_view name);

// A source with a top-level `brands` is a family source.
bool IsFamilySource(const toml::table& root);

// One Definition per brand that reads (a faulty brand is reported and left
// out; a fault of the family file as a whole leaves out every brand).
std::vector<SourceDefinition> ReadFamilySource(std::string_view text, const toml::table& root,
                                               const std::string& file, const std::string& stem,
                                               Diagnostics& diagnostics);

// Adds a brand's messages to `into`, each led by the brand's name; a message
// that an earlier brand already gave at the same place (the same fault of the
// template) is given once.
class BrandMessages {
 public:
  void Merge(const Diagnostics& from, const std::string& brand, Diagnostics& into);

 private:
  std::set<std::tuple<std::string, std::uint32_t, std::uint32_t, std::string>> seen_;
};

}  // namespace quenwick::dbtool
