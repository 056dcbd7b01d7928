#include "family_source.h"

#include <algorithm>
#include <memory>

#include "base/utf8.h"
#include "element_fields.h"
#include "source_reader.h"
#include "toml_text.h"

namespace quenwick::dbtool {
namespace {

constexpr std::string_view kOpen = "${";
// What the catalogue shows where each brand's name goes.
constexpr std::string_view kPatternName = "<Brand>";
// Characters that would make a brand's name change the path or key it is put
// into, end the TOML text it stands in, or open a placeholder.
constexpr std::string_view kForbiddenInBrand = "\\/:*?\"<>|%'$";

const std::set<std::string, std::less<>> kFamilyKeys = {"family", "brands", "template"};
const std::set<std::string, std::less<>> kBrandKeys = {"name", "id", "references"};
const PlaceholderValues kKnownPlaceholders = {{"name", ""}, {"id", ""}};

struct BrandEntry {
  std::string name;
  std::string id;
  std::vector<std::string> references;
  SourcePos namePos, idPos;
};

// A brand's name without case or punctuation: "Spy-Shredder" and "spyshredder"
// are one brand.
std::string LettersOnly(std::string_view name) {
  std::string letters;
  for (const char c : BrandSlug(name)) {
    if (c != '-') letters += c;
  }
  return letters;
}

bool IsSafeBrandName(std::string_view name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ' || name.front() == '.' ||
      name.back() == '.') {
    return false;
  }
  return std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || kForbiddenInBrand.find(c) != std::string_view::npos;
  });
}

std::optional<std::string> ReadString(const toml::table& table, std::string_view key,
                                      const std::string& file, Diagnostics& diagnostics,
                                      SourcePos& pos) {
  const toml::node* node = table.get(key);
  if (node == nullptr || !node->is_string()) {
    diagnostics.Error(file, node ? PosOf(*node) : PosOf(table), "bad-brand",
                      "a brand needs " + std::string(key) + " = '...'");
    return std::nullopt;
  }
  pos = PosOf(*node);
  return node->as_string()->get();
}

// The brands in their order; faulty and repeated ones are reported and left out.
std::vector<BrandEntry> ReadBrands(const toml::node& node, const std::string& file,
                                   Diagnostics& diagnostics) {
  std::vector<BrandEntry> brands;
  const auto* array = node.as_array();
  if (array == nullptr || array->empty()) {
    diagnostics.Error(file, PosOf(node), "bad-brand", "'brands' must be a non-empty array of tables");
    return brands;
  }
  std::map<std::string, SourcePos> byLetters;
  for (const toml::node& item : *array) {
    const auto* table = item.as_table();
    if (table == nullptr) {
      diagnostics.Error(file, PosOf(item), "bad-brand", "a brand is a table { id = '...', name = '...' }");
      continue;
    }
    for (auto&& [key, value] : *table) {
      if (!kBrandKeys.count(key.str())) {
        diagnostics.Error(file, PosOf(key.source()), "unknown-key",
                          "a brand has no field '" + std::string(key.str()) + "'");
      }
    }
    BrandEntry brand;
    const auto name = ReadString(*table, "name", file, diagnostics, brand.namePos);
    const auto id = ReadString(*table, "id", file, diagnostics, brand.idPos);
    if (!name || !id) continue;
    brand.name = *name;
    brand.id = *id;
    if (const toml::node* refs = table->get("references")) {
      const auto* list = refs->as_array();
      if (list == nullptr ||
          !std::all_of(list->begin(), list->end(), [](const toml::node& n) { return n.is_string(); })) {
        diagnostics.Error(file, PosOf(*refs), "bad-metadata", "'references' must be an array of strings");
      } else {
        for (const toml::node& ref : *list) brand.references.push_back(ref.as_string()->get());
      }
    }
    if (!IsSafeBrandName(brand.name)) {
      diagnostics.Error(file, brand.namePos, "bad-brand-name",
                        "the brand name '" + brand.name +
                            "' goes into paths and keys: it may not hold \\ / : * ? \" < > | % ' $ or control "
                            "characters, nor begin or end with a space or a dot");
      continue;
    }
    const auto [it, inserted] = byLetters.emplace(LettersOnly(brand.name), brand.namePos);
    if (!inserted) {
      diagnostics.Error(file, brand.namePos, "duplicate-brand",
                        "the brand '" + brand.name + "' is listed already, on line " +
                            std::to_string(it->second.line) + " (the same name up to case and punctuation)");
      continue;
    }
    brands.push_back(std::move(brand));
  }
  return brands;
}

// Checks the family file as a whole; false when no brand can be expanded.
bool CheckFamilyFile(std::string_view text, const toml::table& root, const std::string& file,
                     Diagnostics& diagnostics) {
  const std::size_t errorsBefore = diagnostics.ErrorCount();
  for (auto&& [key, value] : root) {
    if (!kFamilyKeys.count(key.str())) {
      diagnostics.Error(file, PosOf(key.source()), "unknown-key",
                        "a family source has no field '" + std::string(key.str()) + "'");
    }
  }
  const toml::node* family = root.get("family");
  if (family == nullptr || !family->is_string() || family->as_string()->get().empty()) {
    diagnostics.Error(file, family ? PosOf(*family) : SourcePos{1, 1}, "missing-field",
                      "a family source needs family = '<the family's name>'");
  }
  const toml::node* tmpl = root.get("template");
  if (tmpl == nullptr || !tmpl->is_table()) {
    diagnostics.Error(file, tmpl ? PosOf(*tmpl) : SourcePos{1, 1}, "missing-field",
                      "a family source needs a [template] table: the Definition of each brand");
  }
  for (const Placeholder& placeholder : FindPlaceholders(text)) {
    if (!placeholder.closed) {
      diagnostics.Error(file, placeholder.pos, "unknown-placeholder", "'${' opens a placeholder that never closes");
    } else if (!kKnownPlaceholders.count(placeholder.name)) {
      diagnostics.Error(file, placeholder.pos, "unknown-placeholder",
                        "${" + placeholder.name + "} is no placeholder: a family template knows ${name} and ${id}");
    }
  }
  return diagnostics.ErrorCount() == errorsBefore;
}

// The template of `text` read with the placeholders filled in.
std::optional<SourceDefinition> ReadTemplate(std::string_view text, const std::string& file,
                                             const Identity& identity, const PlaceholderValues& values,
                                             Diagnostics& diagnostics) {
  const std::string expanded = SubstitutePlaceholders(text, values);
  const ParsedToml parsed = ParseToml(expanded, file);
  if (!parsed.table) {
    diagnostics.Error(file, identity.namePos, "bad-brand-name",
                      "the brand's name or id breaks the template: " + parsed.error.message);
    return std::nullopt;
  }
  const auto* tmpl = parsed.table->get("template");
  if (tmpl == nullptr || !tmpl->is_table()) return std::nullopt;
  return ReadSourceTable(*tmpl->as_table(), file, diagnostics, &identity);
}

// Collects the literal texts of elements.
struct LiteralTexts {
  std::u16string all;
  void Operand(std::string_view, const quenwick::Operand& o, FieldRole) {
    if (o.IsLiteral()) all += o.literal + u'\n';
  }
  void Text(std::string_view, const std::u16string& text, FieldRole) { all += text + u'\n'; }
  void Target(std::string_view, const std::uint32_t&) {}
  void TargetPair(std::string_view, const std::uint32_t&) {}
  template <class T>
  void Tables(std::string_view, const T&) {}
};

// A template whose preconditions never name the brand finds every brand on
// the same machines, and each brand's actions then run there.
void CheckPreconditionsNameTheBrand(const SourceDefinition& pattern, const std::string& file,
                                    SourcePos templatePos, Diagnostics& diagnostics) {
  if (pattern.readErrors || pattern.definition->preconditions.empty()) return;
  LiteralTexts texts;
  for (const auto& element : pattern.definition->preconditions) {
    VisitConcrete(*element, [&](const auto& concrete) { VisitFields(concrete, texts); });
  }
  const std::u16string marker(kPatternName.begin(), kPatternName.end());
  if (texts.all.find(marker) == std::u16string::npos) {
    diagnostics.Error(file, templatePos, "template-ignores-brand",
                      "no precondition of the template holds ${name}: every brand would be found on the same "
                      "machines");
  }
}

}  // namespace

std::vector<Placeholder> FindPlaceholders(std::string_view text) {
  std::vector<Placeholder> found;
  SourcePos pos{1, 1};
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.substr(i, kOpen.size()) == kOpen) {
      const std::size_t close = text.find_first_of("}\n", i);
      const bool closed = close != std::string_view::npos && text[close] == '}';
      found.push_back({closed ? std::string(text.substr(i + 2, close - i - 2)) : "", pos, closed});
    }
    if (text[i] == '\n') {
      pos = {pos.line + 1, 1};
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++pos.column;  // columns count characters, not the bytes of their UTF-8
    }
  }
  return found;
}

std::string SubstitutePlaceholders(std::string_view text, const PlaceholderValues& values) {
  std::string out;
  std::size_t done = 0;
  for (std::size_t at = text.find(kOpen); at != std::string_view::npos; at = text.find(kOpen, at + 1)) {
    const std::size_t close = text.find('}', at);
    if (close == std::string_view::npos) break;
    const auto value = values.find(text.substr(at + 2, close - at - 2));
    if (value == values.end()) continue;
    out.append(text.substr(done, at - done)).append(value->second);
    done = close + 1;
    at = close;
  }
  return out.append(text.substr(done));
}

std::string BrandSlug(std::string_view name) {
  std::string slug;
  for (const char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || static_cast<unsigned char>(c) >= 0x80) {
      slug += c;
    } else if (c >= 'A' && c <= 'Z') {
      slug += static_cast<char>(c - 'A' + 'a');
    } else if (!slug.empty() && slug.back() != '-') {
      slug += '-';
    }
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return slug;
}

bool IsFamilySource(const toml::table& root) { return root.contains("brands"); }

std::vector<SourceDefinition> ReadFamilySource(std::string_view text, const toml::table& root,
                                               const std::string& file, const std::string& stem,
                                               Diagnostics& diagnostics) {
  const bool wholeFileReads = CheckFamilyFile(text, root, file, diagnostics);
  const std::vector<BrandEntry> brands = ReadBrands(*root.get("brands"), file, diagnostics);
  if (!wholeFileReads) return {};

  const SourcePos templatePos = PosOf(*root.get("template"));
  const std::u16string patternName(kPatternName.begin(), kPatternName.end());
  Diagnostics patternMessages;  // the brands report the same faults
  auto pattern = ReadTemplate(text, file, {patternName, u"", templatePos, templatePos},
                              {{"name", std::string(kPatternName)}, {"id", ""}}, patternMessages);
  if (!pattern) return {};
  CheckPreconditionsNameTheBrand(*pattern, file, templatePos, diagnostics);
  auto family = std::make_shared<FamilyInfo>(
      FamilyInfo{root.get("family")->as_string()->get(), file, std::move(*pattern)});

  std::vector<SourceDefinition> sources;
  BrandMessages messages;
  for (const BrandEntry& brand : brands) {
    const Identity identity{Utf8ToUtf16(brand.name).value_or(u""), Utf8ToUtf16(brand.id).value_or(u""), templatePos,
                            brand.idPos};
    Diagnostics own;
    auto source = ReadTemplate(text, file, identity, {{"name", brand.name}, {"id", brand.id}}, own);
    messages.Merge(own, brand.name, diagnostics);
    if (!source) continue;
    source->stem = stem + "/" + BrandSlug(brand.name);
    source->family = family;
    source->brand = brand.name;
    source->brandReferences = brand.references;
    sources.push_back(std::move(*source));
  }
  return sources;
}

void BrandMessages::Merge(const Diagnostics& from, const std::string& brand, Diagnostics& into) {
  for (Diagnostic d : from.list()) {
    if (!seen_.emplace(d.file, d.pos.line, d.pos.column, d.code).second) continue;
    d.message = "brand '" + brand + "': " + d.message;
    into.Add(std::move(d));
  }
}

}  // namespace quenwick::dbtool
