#include "lint/lint.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/utf8.h"
#include "family_source.h"
#include "lint/lint_rules.h"
#include "source_reader.h"

namespace quenwick::dbtool {
namespace {

using lint::Reporter;

constexpr std::size_t kExeSuffixLength = 4;

bool HasCapitalLetter(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= u'A' && c <= u'Z'; });
}

// Walks one element's fields: checks every literal text by its role and
// tracks which variable slots are read before anything can have written them.
class ElementLinter {
 public:
  ElementLinter(const Reporter& report, const ElementSource& where, std::set<std::uint32_t>& written,
                std::set<std::uint32_t>& used, std::uint32_t variableCount)
      : report_(report), where_(where), written_(written), used_(used), count_(variableCount) {}

  void Operand(std::string_view key, const quenwick::Operand& o, FieldRole role) {
    const SourcePos pos = where_.FieldPos(key);
    if (o.IsLiteral()) {
      CheckText(pos, role, o.literal);
      return;
    }
    used_.insert(o.index);
    if (o.index < count_ && !written_.count(o.index)) {
      report_.Error(pos, "unwritten-variable",
                    "reads " + report_.source.VariableLabel(o.index) +
                        ", which no earlier element writes: the slot is empty here and the "
                        "element fails");
    }
  }
  void Text(std::string_view key, const std::u16string& text, FieldRole role) {
    CheckText(where_.FieldPos(key), role, text);
  }
  void Target(std::string_view, const std::uint32_t& slot) {
    used_.insert(slot);
    pendingWrites_.push_back(slot);
  }
  // This slot and the next one (the reader has made sure both exist).
  void TargetPair(std::string_view key, const std::uint32_t& slot) {
    Target(key, slot);
    if (slot < count_ && std::uint64_t{slot} + 1 < count_) Target(key, slot + 1);
  }
  template <class T>
  void Tables(std::string_view, const T&) {}

  // An element's own target is written after it has read its operands.
  void Finish() { written_.insert(pendingWrites_.begin(), pendingWrites_.end()); }

 private:
  void CheckText(SourcePos pos, FieldRole role, const std::u16string& text) {
    switch (role) {
      case FieldRole::kFilePath:
      case FieldRole::kFolderPath:
      case FieldRole::kProgram:
      case FieldRole::kMarker:
        lint::CheckPathText(report_, pos, role, text);
        lint::CheckPathSlips(report_, pos, role, text);
        break;
      case FieldRole::kRegistryKey:
      case FieldRole::kRegistryPrefix:
        lint::CheckRegistryPath(report_, pos, role, text);
        lint::CheckPathSlips(report_, pos, role, text);
        break;
      default:
        break;
    }
  }

  const Reporter& report_;
  const ElementSource& where_;
  std::set<std::uint32_t>& written_;
  std::set<std::uint32_t>& used_;
  std::uint32_t count_;
  std::vector<std::uint32_t> pendingWrites_;
};

// A repair that can never write (an empty marker matches every text, so the
// program refuses it; an empty text is no setting), one that writes something
// else than a well-known setting's default, and a marker that names Windows.
void CheckRepair(const Reporter& report, const ElementSource& where, const RegValueRepair& e) {
  for (const auto& [key, operand] : {std::pair{"marker", &e.marker}, std::pair{"replacement", &e.replacement}}) {
    if (operand->IsLiteral() && operand->literal.empty()) {
      report.Error(where.FieldPos(key), "repair-empty-text",
                   std::string("an empty ") + key + " makes the repair write nothing, ever");
    }
  }
  if (e.marker.IsLiteral()) lint::CheckRepairMarker(report, where.FieldPos("marker"), e.marker.literal);
  if (e.key.IsLiteral() && e.valueName.IsLiteral()) {
    lint::CheckRepairedSetting(report, where.FieldPos("replacement"), e.key.literal, e.valueName.literal,
                               e.replacement.IsLiteral() ? &e.replacement.literal : nullptr);
  }
}

// Checks that concern one element class as a whole.
template <class Element>
void CheckElement(const Reporter& report, const ElementSource& where, const Element& e) {
  if constexpr (std::is_same_v<Element, ASDPrec1>) {
    const SourcePos pos = where.FieldPos("pattern");
    if (e.pattern.empty()) {
      report.Error(pos, "asd-pattern-empty",
                   "an empty pattern matches every Userinit entry: the action would remove them all");
    } else if (HasCapitalLetter(e.pattern)) {
      report.Error(pos, "asd-pattern-case",
                   "the pattern " + lint::Show(e.pattern) +
                       " holds a capital letter; entries are lower-cased before the search, so it never matches");
    }
  } else if constexpr (std::is_same_v<Element, Antivirus2009Prec1>) {
    if (e.exeSuffix.size() != kExeSuffixLength) {
      report.Error(where.FieldPos("exe_suffix"), "exe-suffix-length",
                   "exe_suffix " + lint::Show(e.exeSuffix) + " is " + std::to_string(e.exeSuffix.size()) +
                       " characters long; exactly the last four characters of a path are compared, so it never matches");
    }
    if (!e.keyPrefix.ends_with(u'\\')) {
      report.Error(where.FieldPos("key_prefix"), "key-prefix-backslash",
                   "key_prefix must end in a backslash: the subkey name is appended to it directly");
    }
  } else if constexpr (std::is_same_v<Element, InnoSetupUninstall>) {
    if (!e.keyPrefix.ends_with(u'\\')) {
      report.Error(where.FieldPos("key_prefix"), "key-prefix-backslash",
                   "key_prefix must end in a backslash: the application key is appended to it directly");
    }
  } else if constexpr (std::is_same_v<Element, FolderDelete> || std::is_same_v<Element, FileDelete>) {
    if (e.path.IsLiteral()) lint::CheckDeletedPath(report, where.FieldPos("path"), e.path.literal);
  } else if constexpr (std::is_same_v<Element, RegKeyDelete>) {
    if (e.key.IsLiteral()) lint::CheckDeletedKey(report, where.FieldPos("key"), e.key.literal);
  } else if constexpr (std::is_same_v<Element, RegValueDelete>) {
    if (e.key.IsLiteral() && e.valueName.IsLiteral()) {
      lint::CheckDeletedValue(report, where.FieldPos("value_name"), e.key.literal, e.valueName.literal);
    }
  } else if constexpr (std::is_same_v<Element, RegValueRepair>) {
    CheckRepair(report, where, e);
  } else if constexpr (std::is_same_v<Element, KillProcess>) {
    if (e.target.IsLiteral()) lint::CheckKilledProgram(report, where.FieldPos("program"), e.target.literal);
  }
}

template <class Base>
void LintList(const Reporter& report, const std::vector<std::unique_ptr<Base>>& elements,
              const std::vector<ElementSource>& where, std::set<std::uint32_t>& written,
              std::set<std::uint32_t>& used) {
  const std::uint32_t count = report.source.definition->variables.size();
  for (std::size_t i = 0; i < elements.size() && i < where.size(); ++i) {
    ElementLinter linter(report, where[i], written, used, count);
    VisitConcrete(*elements[i], [&](const auto& concrete) {
      VisitFields(concrete, linter);
      CheckElement(report, where[i], concrete);
    });
    linter.Finish();
  }
}

void LintDefinition(const SourceDefinition& source, Diagnostics& out) {
  const Reporter report{source, out};
  const Definition& definition = *source.definition;
  if (definition.preconditions.empty()) {
    report.Error(source.namePos, "no-preconditions",
                 "the Definition has no preconditions, so it is found on every machine and its "
                 "actions run everywhere");
  }
  // Preconditions run first, in order, and every pass through the actions
  // follows a full pass through the preconditions.
  std::set<std::uint32_t> written;
  std::set<std::uint32_t> used;
  LintList(report, definition.preconditions, source.preconditions, written, used);
  LintList(report, definition.actions, source.actions, written, used);
  for (std::uint32_t slot = 0; slot < source.variableNames.size(); ++slot) {
    if (!used.count(slot)) {
      const SourcePos pos = slot < source.variablePos.size() ? source.variablePos[slot] : source.variablesPos;
      report.Warning(pos, "unused-variable",
                     "the variable " + source.VariableLabel(slot) + " is never used");
    }
  }
}

}  // namespace

std::string NextFreeId(const std::vector<SourceDefinition>& sources) {
  std::uint64_t next = 1;
  for (const SourceDefinition& source : sources) {
    const std::u16string& id = source.definition->id;
    constexpr std::size_t kMaxDigits = 18;
    if (id.empty() || id.size() > kMaxDigits ||
        !std::all_of(id.begin(), id.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
      continue;
    }
    std::uint64_t value = 0;
    for (const char16_t c : id) value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    next = std::max(next, value + 1);
  }
  return std::to_string(next);
}

void LintSources(const std::vector<SourceDefinition>& sources, Diagnostics& out) {
  std::map<std::u16string, const SourceDefinition*> byId;
  BrandMessages brandMessages;
  for (const SourceDefinition& source : sources) {
    // A source the reader faulted holds defaults where its faults are; what
    // the checks would say about them is noise beside the reader's errors.
    if (source.readErrors) continue;
    Diagnostics own;
    LintDefinition(source, own);
    const auto [it, inserted] = byId.emplace(source.definition->id, &source);
    if (!inserted) {
      own.Error(source.file, source.idPos, "duplicate-id",
                "the id " + lint::Show(source.definition->id) + " is already used by " +
                    it->second->file + (it->second->brand.empty() ? "" : " (brand '" + it->second->brand + "')") +
                    "; the next free id is " + NextFreeId(sources));
    }
    if (source.family) {
      brandMessages.Merge(own, source.brand, out);
    } else {
      out.Append(own);
    }
  }
}

namespace {

void LintWithFixtures(const std::filesystem::path& directory, const std::filesystem::path& fixtureRoot,
                      const std::vector<SourceDefinition>& sources, Diagnostics& diagnostics) {
  RequireDefinitions(directory, sources, diagnostics);
  LintSources(sources, diagnostics);
  const auto fixtures = fixture::LoadFixtures(fixtureRoot.empty() ? directory / "fixtures" : fixtureRoot, sources);
  for (const auto& loaded : fixtures) diagnostics.Append(loaded.errors);
  CheckFixtureProof(sources, fixtures, diagnostics);
  diagnostics.Sort();
}

}  // namespace

Diagnostics LintDirectory(const std::filesystem::path& directory, const std::filesystem::path& fixtures) {
  Diagnostics diagnostics;
  const auto sources = ReadSourceDirectory(directory, diagnostics);
  LintWithFixtures(directory, fixtures, sources, diagnostics);
  return diagnostics;
}

Diagnostics LintFile(const std::filesystem::path& file, const std::filesystem::path& fixtures) {
  const std::filesystem::path directory = file.has_parent_path() ? file.parent_path() : ".";
  Diagnostics all;
  auto sources = ReadSourceDirectory(directory, all);
  const std::string shown = file.generic_string();
  const std::string inFolder = (directory / file.filename()).generic_string();
  const auto isTheFile = [&](const std::string& name) { return name == shown || name == inFolder; };
  if (std::none_of(sources.begin(), sources.end(), [&](const auto& s) { return isTheFile(s.file); })) {
    // Not a source of its folder (another extension, or not there): alone.
    for (auto& source : ReadSourceFile(file, all)) sources.push_back(std::move(source));
  }
  // The file's Definitions last, so that an id it shares with another file
  // is reported on it.
  std::stable_partition(sources.begin(), sources.end(), [&](const auto& s) { return !isTheFile(s.file); });
  LintWithFixtures(directory, fixtures, sources, all);
  Diagnostics own;
  for (const Diagnostic& d : all.list()) {
    if (isTheFile(d.file)) own.Add(d);
  }
  return own;
}

}  // namespace quenwick::dbtool
