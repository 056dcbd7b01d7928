// Messages about source files: where (file, line, column), how bad, a stable
// code that tests and scripts can match, and the text for people.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace quenwick::dbtool {

// One-based line and column; 0 when the position is unknown (a whole file).
struct SourcePos {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  friend bool operator==(const SourcePos&, const SourcePos&) = default;
};

enum class Severity { kError, kWarning };

struct Diagnostic {
  std::string file;
  SourcePos pos;
  Severity severity = Severity::kError;
  std::string code;
  std::string message;
};

class Diagnostics {
 public:
  void Error(std::string file, SourcePos pos, std::string code, std::string message);
  void Warning(std::string file, SourcePos pos, std::string code, std::string message);
  void Add(Diagnostic diagnostic) { list_.push_back(std::move(diagnostic)); }
  void Append(const Diagnostics& other);

  bool HasErrors() const;
  std::size_t ErrorCount() const;
  std::size_t WarningCount() const;
  const std::vector<Diagnostic>& list() const { return list_; }
  // Stable order for output: by file, line, column, then as added.
  void Sort();

 private:
  std::vector<Diagnostic> list_;
};

// "file:line:col: error: message [code]", one per line, as compilers write.
void PrintText(const Diagnostics& diagnostics, std::ostream& out);
// A JSON array of {"file","line","column","severity","code","message"}.
void PrintJson(const Diagnostics& diagnostics, std::ostream& out);

std::string JsonQuote(std::string_view text);

}  // namespace quenwick::dbtool
