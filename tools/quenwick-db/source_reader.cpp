#include "source_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <set>
#include <unordered_map>

#include "base/utf8.h"
#include "element_fields.h"
#include "family_source.h"
#include "suggestion.h"
#include "file_io.h"
#include "toml_text.h"

namespace quenwick::dbtool {
namespace {

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
// The largest variable table the program loads (a larger count in a record is
// taken for damage). Should the loader's limit change, the build's own load
// of what it wrote still refuses the difference.
constexpr std::uint64_t kMaxVariableCount = 256;
constexpr std::uint64_t kMaxByte = 255;
constexpr std::string_view kSourceExtension = ".toml";

bool IsVariableName(std::string_view name) {
  if (name.empty()) return false;
  const auto isLetter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  };
  if (!isLetter(name[0])) return false;
  return std::all_of(name.begin(), name.end(),
                     [&](char c) { return isLetter(c) || (c >= '0' && c <= '9'); });
}

// State shared while one file is read.
struct FileContext {
  const std::string& file;
  Diagnostics& diagnostics;
  std::unordered_map<std::string, std::uint32_t> slotByName;
  std::uint32_t variableCount = 0;

  void Error(const toml::node& node, std::string code, std::string message) {
    diagnostics.Error(file, PosOf(node), std::move(code), std::move(message));
  }
};

// Resolves a variable written by name or by number to its slot.
std::optional<std::uint32_t> ReadSlot(const toml::node& node, FileContext& ctx,
                                      std::string_view what) {
  if (const auto* name = node.as_string()) {
    const auto it = ctx.slotByName.find(name->get());
    if (it == ctx.slotByName.end()) {
      ctx.Error(node, "unknown-variable",
                std::string(what) + " names '" + name->get() +
                    "', which is not in the Definition's variables");
      return std::nullopt;
    }
    return it->second;
  }
  if (node.is_integer()) {
    const auto slot = ReadUnsigned(node, kMaxU32, ctx.file, what, ctx.diagnostics);
    if (!slot) return std::nullopt;
    if (*slot >= ctx.variableCount) {
      ctx.Error(node, "index-beyond-table",
                std::string(what) + " is slot " + std::to_string(*slot) + ", but the Definition has " +
                    std::to_string(ctx.variableCount) + " variable(s)");
    }
    return static_cast<std::uint32_t>(*slot);
  }
  ctx.Error(node, "bad-variable",
            std::string(what) + " must name a variable (a string) or give its slot (a number), not " +
                KindName(node));
  return std::nullopt;
}

// Reads the fields of one element from its table, through VisitFields.
class FieldReader {
 public:
  FieldReader(const toml::table& table, FileContext& ctx, ElementSource& source,
              std::string_view className)
      : table_(table), ctx_(ctx), source_(source), className_(className) {}

  void Operand(std::string_view key, quenwick::Operand& out, FieldRole) {
    const toml::node* node = Take(key);
    if (node == nullptr) return;
    if (const auto* inline_table = node->as_table(); inline_table && inline_table->get("var")) {
      if (inline_table->size() != 1) {
        ctx_.Error(*node, "bad-operand",
                   Label(key) + ": a variable operand is written { var = 'name' } alone");
        return;
      }
      if (const auto slot = ReadSlot(*inline_table->get("var"), ctx_, Label(key))) {
        out = quenwick::Operand::Variable(*slot);
      }
      return;
    }
    if (auto text = ReadTextNode(*node, ctx_.file, Label(key), ctx_.diagnostics)) {
      out = quenwick::Operand::Text(std::move(*text));
    }
  }

  void Text(std::string_view key, std::u16string& out, FieldRole) {
    const toml::node* node = Take(key);
    if (node == nullptr) return;
    if (node->is_table() && node->as_table()->get("var")) {
      ctx_.Error(*node, "bad-text",
                 Label(key) + " is a plain text and cannot take a variable");
      return;
    }
    if (auto text = ReadTextNode(*node, ctx_.file, Label(key), ctx_.diagnostics)) {
      out = std::move(*text);
    }
  }

  void Target(std::string_view key, std::uint32_t& out) {
    const toml::node* node = Take(key);
    if (node == nullptr) return;
    if (const auto slot = ReadSlot(*node, ctx_, Label(key))) out = *slot;
  }

  // The element writes this slot and the next one; the program refuses a
  // record whose second slot does not exist.
  void TargetPair(std::string_view key, std::uint32_t& out) {
    const toml::node* node = Take(key);
    if (node == nullptr) return;
    const auto slot = ReadSlot(*node, ctx_, Label(key));
    if (!slot) return;
    out = *slot;
    if (*slot < ctx_.variableCount && std::uint64_t{*slot} + 1 >= ctx_.variableCount) {
      ctx_.Error(*node, "index-beyond-table",
                 Label(key) + " writes slot " + std::to_string(*slot) + " and the slot after it, but the Definition has " +
                     std::to_string(ctx_.variableCount) + " variable(s)");
    }
  }

  void Tables(std::string_view key,
              std::array<std::uint8_t, Antivirus2009Prec1::kTableBlockSize>& out) {
    const toml::node* node = Take(key);
    if (node == nullptr) return;
    const std::string shape = Label(key) + " must be " + std::to_string(kTableRows) +
                              " rows of " + std::to_string(kTableColumns) + " numbers from 0 to 255";
    const auto* rows = node->as_array();
    if (rows == nullptr || rows->size() != kTableRows) {
      ctx_.Error(*node, "bad-tables", shape);
      return;
    }
    for (std::size_t r = 0; r < kTableRows; ++r) {
      const auto* row = (*rows)[r].as_array();
      if (row == nullptr || row->size() != kTableColumns) {
        ctx_.Error((*rows)[r], "bad-tables", shape + " (row " + std::to_string(r + 1) + ")");
        return;
      }
      for (std::size_t c = 0; c < kTableColumns; ++c) {
        const auto value = ReadUnsigned((*row)[c], kMaxByte, ctx_.file, Label(key), ctx_.diagnostics);
        if (!value) return;
        out[r * kTableColumns + c] = static_cast<std::uint8_t>(*value);
      }
    }
  }

  // Keys that no field of the class took.
  void ReportUnknownKeys() {
    for (auto&& [key, value] : table_) {
      if (key.str() == "type" || taken_.count(std::string(key.str()))) continue;
      const std::vector<std::string> fields(taken_.begin(), taken_.end());
      ctx_.diagnostics.Error(ctx_.file, PosOf(key.source()), "unknown-key",
                             std::string(className_) + " has no field '" + std::string(key.str()) + "'" +
                                 DidYouMean(key.str(), fields));
    }
  }

 private:
  std::string Label(std::string_view key) const {
    return std::string(className_) + "." + std::string(key);
  }

  const toml::node* Take(std::string_view key) {
    taken_.insert(std::string(key));
    const toml::node* node = table_.get(key);
    if (node == nullptr) {
      ctx_.diagnostics.Error(ctx_.file, source_.where, "missing-field",
                             std::string(className_) + " needs the field '" + std::string(key) + "'");
      return nullptr;
    }
    source_.fields[std::string(key)] = PosOf(*node);
    return node;
  }

  const toml::table& table_;
  FileContext& ctx_;
  ElementSource& source_;
  std::string_view className_;
  std::set<std::string> taken_;
};

enum class ListKind { kPreconditions, kActions };

void ReadElementList(const toml::node& node, ListKind list, FileContext& ctx,
                     SourceDefinition& out) {
  const std::string listName = list == ListKind::kPreconditions ? "preconditions" : "actions";
  const auto* array = node.as_array();
  if (array == nullptr) {
    ctx.Error(node, "bad-list", "'" + listName + "' must be an array of tables");
    return;
  }
  for (const toml::node& item : *array) {
    const auto* table = item.as_table();
    if (table == nullptr) {
      ctx.Error(item, "bad-list", "each entry of '" + listName + "' must be a table");
      continue;
    }
    ElementSource source;
    source.where = PosOf(item);
    const toml::node* typeNode = table->get("type");
    const auto* typeName = typeNode ? typeNode->as_string() : nullptr;
    if (typeName == nullptr) {
      ctx.diagnostics.Error(ctx.file, source.where, "missing-type",
                            "each element needs type = '<element class>'");
      continue;
    }
    source.type = ElementTypeFromName(typeName->get());
    if (source.type >= kElementTypeCount) {
      std::vector<std::string> classes;
      for (std::uint32_t tag = 0; tag < kElementTypeCount; ++tag) classes.emplace_back(ElementTypeName(tag));
      ctx.Error(*typeNode, "unknown-element-type",
                "'" + typeName->get() + "' is not an element class" + DidYouMean(typeName->get(), classes));
      continue;
    }
    source.fields["type"] = PosOf(*typeNode);
    const bool allowed = list == ListKind::kPreconditions ? AllowedAsPrecondition(source.type)
                                                          : AllowedAsAction(source.type);
    if (!allowed) {
      ctx.Error(*typeNode, "element-outside-list",
                typeName->get() + " cannot stand among the " + listName +
                    " (the program refuses to load such a Definition)");
      continue;
    }
    Definition& definition = *out.definition;
    MakeElement(source.type, [&](auto element) {
      element->owner = &definition;
      FieldReader reader(*table, ctx, source, typeName->get());
      VisitFields(*element, reader);
      reader.ReportUnknownKeys();
      using Class = typename decltype(element)::element_type;
      if constexpr (std::is_base_of_v<Precondition, Class>) {
        if (list == ListKind::kPreconditions) {
          definition.preconditions.push_back(std::move(element));
          out.preconditions.push_back(std::move(source));
          return;
        }
      }
      if constexpr (std::is_base_of_v<Action, Class>) {
        if (list == ListKind::kActions) {
          definition.actions.push_back(std::move(element));
          out.actions.push_back(std::move(source));
        }
      }
    });
  }
}

void ReadVariables(const toml::table& root, FileContext& ctx, SourceDefinition& out) {
  std::uint64_t count = 0;
  if (const toml::node* node = root.get("variables")) {
    out.variablesPos = PosOf(*node);
    const auto* array = node->as_array();
    if (array == nullptr) {
      ctx.Error(*node, "bad-variables", "'variables' must be an array of names");
    } else {
      for (const toml::node& item : *array) {
        out.variablePos.push_back(PosOf(item));
        const auto* name = item.as_string();
        if (name == nullptr || !IsVariableName(name->get())) {
          ctx.Error(item, "bad-variables",
                    "a variable name is a string of letters, digits and '_' that does not begin with a digit");
          out.variableNames.push_back("#" + std::to_string(out.variableNames.size()));
          continue;
        }
        const auto slot = static_cast<std::uint32_t>(out.variableNames.size());
        if (!ctx.slotByName.emplace(name->get(), slot).second) {
          ctx.Error(item, "duplicate-variable", "the variable '" + name->get() + "' is declared twice");
        }
        out.variableNames.push_back(name->get());
      }
    }
    count = out.variableNames.size();
  }
  if (const toml::node* node = root.get("variable_count")) {
    if (const auto declared =
            ReadUnsigned(*node, kMaxU32, ctx.file, "'variable_count'", ctx.diagnostics)) {
      if (*declared < out.variableNames.size()) {
        ctx.Error(*node, "bad-variables",
                  "'variable_count' is smaller than the number of declared variables");
      } else {
        count = *declared;
      }
    }
  }
  if (count > kMaxVariableCount) {
    const toml::node* node = root.get("variable_count") ? root.get("variable_count") : root.get("variables");
    ctx.Error(*node, "too-many-variables",
              "the program loads at most " + std::to_string(kMaxVariableCount) + " variables per Definition");
    count = kMaxVariableCount;
  }
  ctx.variableCount = static_cast<std::uint32_t>(count);
  out.definition->variables = VariableTable(ctx.variableCount);
}

void ReadMetadata(const toml::table& root, FileContext& ctx, SourceDefinition& out) {
  if (const toml::node* node = root.get("description")) {
    if (const auto* text = node->as_string()) {
      out.description = text->get();
    } else {
      ctx.Error(*node, "bad-metadata", "'description' must be a string");
    }
  }
  if (const toml::node* node = root.get("references")) {
    const auto* array = node->as_array();
    const bool strings = array && std::all_of(array->begin(), array->end(),
                                              [](const toml::node& n) { return n.is_string(); });
    if (!strings) {
      ctx.Error(*node, "bad-metadata", "'references' must be an array of strings");
    } else {
      for (const toml::node& item : *array) out.references.push_back(item.as_string()->get());
    }
  }
  if (const toml::node* node = root.get("date")) {
    if (const auto* text = node->as_string()) {
      out.date = text->get();
    } else if (const auto* date = node->as_date()) {
      const toml::date d = date->get();
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u", static_cast<unsigned>(d.year),
                    static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
      out.date = buffer;
    } else {
      ctx.Error(*node, "bad-metadata", "'date' must be a date (2009-05-17) or a string");
    }
  }
}

const std::set<std::string, std::less<>> kTopLevelKeys = {
    "name", "id", "variables", "variable_count", "preconditions", "actions",
    "description", "references", "date"};

}  // namespace

std::uint32_t ElementTypeFromName(std::string_view name) {
  for (std::uint32_t tag = 0; tag < kElementTypeCount; ++tag) {
    if (ElementTypeName(tag) == name) return tag;
  }
  return kElementTypeCount;
}

SourceDefinition ReadSourceTable(const toml::table& root, const std::string& file,
                                 Diagnostics& diagnostics, const Identity* identity) {
  SourceDefinition out;
  out.file = file;
  FileContext ctx{file, diagnostics, {}, 0};
  const std::size_t errorsBefore = diagnostics.ErrorCount();

  for (auto&& [key, value] : root) {
    if (!kTopLevelKeys.count(key.str())) {
      // Shown as written: "[[precondition]]" -> "[[preconditions]]".
      const bool tables = value.is_array_of_tables();
      const auto meant = ClosestName(key.str(), std::vector<std::string>(kTopLevelKeys.begin(), kTopLevelKeys.end()));
      const auto shown = [&](std::string_view name) {
        return tables ? "[[" + std::string(name) + "]]" : "'" + std::string(name) + "'";
      };
      diagnostics.Error(file, PosOf(key.source()), "unknown-key",
                        "a Definition has no field " + shown(key.str()) +
                            (meant ? " (did you mean " + shown(*meant) + "?)" : ""));
    } else if (identity && (key.str() == "name" || key.str() == "id")) {
      diagnostics.Error(file, PosOf(key.source()), "unknown-key",
                        "a family template takes its '" + std::string(key.str()) + "' from each brand");
    }
  }
  const auto readRequiredText = [&](std::string_view key, std::u16string& target, SourcePos& pos) {
    const toml::node* node = root.get(key);
    if (node == nullptr) {
      diagnostics.Error(file, {1, 1}, "missing-field",
                        "a Definition needs the field '" + std::string(key) + "'");
      return;
    }
    pos = PosOf(*node);
    if (auto value = ReadTextNode(*node, file, "'" + std::string(key) + "'", diagnostics)) {
      target = std::move(*value);
    }
  };
  if (identity) {
    out.definition->name = identity->name;
    out.definition->id = identity->id;
    out.namePos = identity->namePos;
    out.idPos = identity->idPos;
  } else {
    readRequiredText("name", out.definition->name, out.namePos);
    readRequiredText("id", out.definition->id, out.idPos);
  }
  ReadVariables(root, ctx, out);
  ReadMetadata(root, ctx, out);
  if (const toml::node* node = root.get("preconditions")) {
    ReadElementList(*node, ListKind::kPreconditions, ctx, out);
  }
  if (const toml::node* node = root.get("actions")) {
    ReadElementList(*node, ListKind::kActions, ctx, out);
  }
  out.readErrors = diagnostics.ErrorCount() != errorsBefore;
  return out;
}

std::optional<SourceDefinition> ReadSourceText(std::string_view text, const std::string& file,
                                               Diagnostics& diagnostics) {
  const std::optional<toml::table> parsed = ParseTomlText(text, file, diagnostics);
  if (!parsed) return std::nullopt;
  return ReadSourceTable(*parsed, file, diagnostics);
}

std::vector<SourceDefinition> ReadSources(std::string_view text, const std::string& file,
                                          const std::string& stem, Diagnostics& diagnostics) {
  const std::optional<toml::table> parsed = ParseTomlText(text, file, diagnostics);
  if (!parsed) return {};
  if (IsFamilySource(*parsed)) return ReadFamilySource(text, *parsed, file, stem, diagnostics);
  std::vector<SourceDefinition> sources;
  sources.push_back(ReadSourceTable(*parsed, file, diagnostics));
  sources.back().stem = stem;
  return sources;
}

std::vector<SourceDefinition> ReadSourceFile(const std::filesystem::path& path,
                                             Diagnostics& diagnostics) {
  const std::string display = path.generic_string();
  std::string error;
  const auto text = ReadTextFile(path, error);
  if (!text) {
    diagnostics.Error(display, {}, "io", error);
    return {};
  }
  return ReadSources(*text, display, path.stem().generic_string(), diagnostics);
}

std::vector<std::filesystem::path> ListSourceFiles(const std::filesystem::path& directory,
                                                   Diagnostics& diagnostics) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  std::filesystem::directory_iterator it(directory, ec);
  if (ec) {
    diagnostics.Error(directory.generic_string(), {}, "io",
                      "cannot read the directory: " + ec.message());
    return files;
  }
  for (const auto& entry : it) {
    const std::string name = entry.path().filename().generic_string();
    if (name.size() <= kSourceExtension.size() || !name.ends_with(kSourceExtension)) continue;
    std::error_code typeError;
    if (!entry.is_regular_file(typeError)) continue;
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    return a.filename().generic_u8string() < b.filename().generic_u8string();
  });
  return files;
}

std::vector<SourceDefinition> ReadSourceDirectory(const std::filesystem::path& directory,
                                                  Diagnostics& diagnostics) {
  std::vector<SourceDefinition> sources;
  for (const auto& path : ListSourceFiles(directory, diagnostics)) {
    for (auto& source : ReadSourceFile(path, diagnostics)) sources.push_back(std::move(source));
  }
  return sources;
}

void RequireDefinitions(const std::filesystem::path& directory, const std::vector<SourceDefinition>& sources,
                        Diagnostics& diagnostics) {
  if (!sources.empty() || diagnostics.HasErrors()) return;
  diagnostics.Error(directory.generic_string(), {}, "no-definitions",
                    "holds no Definition source (*.toml directly in it); is this the definitions folder?");
}

}  // namespace quenwick::dbtool
