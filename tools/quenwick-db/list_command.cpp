// quenwick-db list FILE / quenwick-db info FILE (FILE may be a definitions directory)
#include <array>
#include <cstdio>
#include <iostream>

#include "base/utf8.h"
#include "build_unpack.h"
#include "command_line.h"
#include "commands.h"
#include "database_encoding.h"
#include "database_input.h"
#include "element_fields.h"

namespace quenwick::dbtool {
namespace {

struct Loaded {
  DatabaseInput input;
  std::vector<std::unique_ptr<Definition>> definitions;
};

std::optional<Loaded> Load(Arguments args, const char* usage, std::ostream& err) {
  CommandLine line({}, {});
  if (!line.Parse(args, err)) return std::nullopt;
  if (line.positional().size() != 1) {
    err << usage;
    return std::nullopt;
  }
  const std::string& file = line.positional()[0];
  std::string error;
  std::optional<DatabaseInput> input;
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    // A definitions directory: the database its sources build to.
    Diagnostics diagnostics;
    auto built = BuildDatabaseFromDirectory(file, diagnostics);
    diagnostics.Sort();
    PrintText(diagnostics, err);
    if (!built) return std::nullopt;
    input = DatabaseInput{InputKind::kDatabase, std::move(*built), 0};
  } else {
    input = LoadDatabaseInput(file, error);
  }
  if (!input) {
    err << "quenwick-db: " << file << ": " << error << '\n';
    return std::nullopt;
  }
  auto definitions = ParseDefinitions(input->database, error);
  if (!definitions) {
    err << "quenwick-db: " << file << ": " << error << '\n';
    return std::nullopt;
  }
  return Loaded{std::move(*input), std::move(*definitions)};
}

// Counts Operands by kind while walking an element's fields.
struct OperandCounter {
  std::size_t literal = 0;
  std::size_t variable = 0;
  void Operand(std::string_view, const quenwick::Operand& o, FieldRole) {
    ++(o.IsLiteral() ? literal : variable);
  }
  void Text(std::string_view, const std::u16string&, FieldRole) {}
  void Target(std::string_view, const std::uint32_t&) {}
  void TargetPair(std::string_view, const std::uint32_t&) {}
  template <class T>
  void Tables(std::string_view, const T&) {}
};

}  // namespace

int RunList(Arguments args, std::ostream& out, std::ostream& err) {
  const auto loaded = Load(args, "usage: quenwick-db list FILE\n", err);
  if (!loaded) return kExitFailure;
  std::size_t index = 0;
  for (const auto& d : loaded->definitions) {
    char counts[96];
    std::snprintf(counts, sizeof counts, "%4zu  %-7s vars %-3u pre %-2zu act %-3zu ", ++index,
                  ToUtf8(d->id).c_str(), d->variables.size(), d->preconditions.size(),
                  d->actions.size());
    out << counts << ToUtf8(d->name) << '\n';
  }
  return kExitOk;
}

int RunInfo(Arguments args, std::ostream& out, std::ostream& err) {
  const auto loaded = Load(args, "usage: quenwick-db info FILE\n", err);
  if (!loaded) return kExitFailure;
  std::array<std::size_t, kElementTypeCount> preCount{};
  std::array<std::size_t, kElementTypeCount> actCount{};
  OperandCounter operands;
  std::uint64_t variables = 0;
  std::uint32_t maxVariables = 0;
  std::size_t preconditions = 0;
  std::size_t actions = 0;
  for (const auto& d : loaded->definitions) {
    variables += d->variables.size();
    maxVariables = std::max(maxVariables, d->variables.size());
    preconditions += d->preconditions.size();
    actions += d->actions.size();
    for (const auto& p : d->preconditions) {
      const auto tag = VisitConcrete(*p, [&](const auto& e) { VisitFields(e, operands); });
      if (tag < kElementTypeCount) ++preCount[tag];
    }
    for (const auto& a : d->actions) {
      const auto tag = VisitConcrete(*a, [&](const auto& e) { VisitFields(e, operands); });
      if (tag < kElementTypeCount) ++actCount[tag];
    }
  }
  std::vector<const Definition*> list;
  for (const auto& d : loaded->definitions) list.push_back(d.get());
  std::string error;
  const auto records = EncodeDatabase(list, error);

  out << "form:           " << InputKindName(loaded->input.kind) << '\n';
  if (loaded->input.kind != InputKind::kDatabase) {
    out << "declared size:  " << loaded->input.declaredSize << " bytes\n";
  }
  out << "database:       " << loaded->input.database.size() << " bytes\n";
  if (records && records->size() <= loaded->input.database.size()) {
    out << "records end at: " << records->size() << " ("
        << loaded->input.database.size() - records->size() << " byte(s) of filler after them)\n";
  }
  out << "definitions:    " << loaded->definitions.size() << '\n';
  out << "variables:      " << variables << " (at most " << maxVariables << " in one Definition)\n";
  out << "preconditions:  " << preconditions << '\n';
  out << "actions:        " << actions << '\n';
  out << "operands:       " << operands.literal << " literal, " << operands.variable << " variable\n";
  out << "elements by type (preconditions / actions):\n";
  for (std::uint32_t tag = 0; tag < kElementTypeCount; ++tag) {
    if (preCount[tag] == 0 && actCount[tag] == 0) continue;
    char row[96];
    std::snprintf(row, sizeof row, "  %-24s %5zu %5zu\n", std::string(ElementTypeName(tag)).c_str(),
                  preCount[tag], actCount[tag]);
    out << row;
  }
  return kExitOk;
}

}  // namespace quenwick::dbtool
