#include "build_unpack.h"

#include <algorithm>

#include "base/utf8.h"
#include "database_encoding.h"
#include "database_input.h"
#include "source_reader.h"
#include "source_writer.h"

namespace quenwick::dbtool {
namespace {

constexpr std::size_t kMinIndexDigits = 4;
constexpr std::size_t kMaxSlugLength = 40;

std::string Slug(std::u16string_view name) {
  std::string slug;
  for (const char16_t c : name) {
    if (slug.size() >= kMaxSlugLength) break;
    if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) {
      slug += static_cast<char>(c);
    } else if (c >= u'A' && c <= u'Z') {
      slug += static_cast<char>(c - u'A' + 'a');
    } else if (!slug.empty() && slug.back() != '-') {
      slug += '-';
    }
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return slug.empty() ? "definition" : slug;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> BuildDatabase(const std::vector<SourceDefinition>& sources,
                                                       Diagnostics& diagnostics) {
  if (diagnostics.HasErrors()) return std::nullopt;
  std::vector<const Definition*> definitions;
  definitions.reserve(sources.size());
  for (const SourceDefinition& source : sources) definitions.push_back(source.definition.get());
  std::string error;
  auto database = EncodeDatabase(definitions, error);
  if (!database) {
    diagnostics.Error("<database>", {}, "encode", error);
    return std::nullopt;
  }
  // What is written must be what the program loads: parse it with the
  // program's own parser before anyone embeds it.
  if (!ParseDefinitions(*database, error)) {
    diagnostics.Error("<database>", {}, "unloadable", error);
    return std::nullopt;
  }
  return database;
}

std::optional<std::vector<std::uint8_t>> BuildDatabaseFromDirectory(
    const std::filesystem::path& directory, Diagnostics& diagnostics) {
  const auto sources = ReadSourceDirectory(directory, diagnostics);
  RequireDefinitions(directory, sources, diagnostics);
  if (sources.empty()) return std::nullopt;
  return BuildDatabase(sources, diagnostics);
}

std::vector<SourceFile> UnpackDefinitions(const std::vector<std::unique_ptr<Definition>>& definitions) {
  const std::size_t digits =
      std::max(kMinIndexDigits, std::to_string(definitions.size()).size());
  std::vector<SourceFile> files;
  files.reserve(definitions.size());
  for (std::size_t i = 0; i < definitions.size(); ++i) {
    std::string index = std::to_string(i + 1);
    index.insert(0, digits - index.size(), '0');
    const Definition& definition = *definitions[i];
    files.push_back({index + "-" + Slug(definition.name) + ".toml",
                     WriteSource(definition, GenerateVariableNames(definition))});
  }
  return files;
}

}  // namespace quenwick::dbtool
