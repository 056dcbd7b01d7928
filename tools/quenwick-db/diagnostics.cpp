#include "diagnostics.h"

#include <algorithm>
#include <cstdio>

namespace quenwick::dbtool {

void Diagnostics::Error(std::string file, SourcePos pos, std::string code, std::string message) {
  list_.push_back({std::move(file), pos, Severity::kError, std::move(code), std::move(message)});
}

void Diagnostics::Warning(std::string file, SourcePos pos, std::string code,
                          std::string message) {
  list_.push_back({std::move(file), pos, Severity::kWarning, std::move(code), std::move(message)});
}

void Diagnostics::Append(const Diagnostics& other) {
  list_.insert(list_.end(), other.list_.begin(), other.list_.end());
}

bool Diagnostics::HasErrors() const { return ErrorCount() > 0; }

std::size_t Diagnostics::ErrorCount() const {
  return static_cast<std::size_t>(std::count_if(
      list_.begin(), list_.end(), [](const Diagnostic& d) { return d.severity == Severity::kError; }));
}

std::size_t Diagnostics::WarningCount() const { return list_.size() - ErrorCount(); }

void Diagnostics::Sort() {
  std::stable_sort(list_.begin(), list_.end(), [](const Diagnostic& a, const Diagnostic& b) {
    if (a.file != b.file) return a.file < b.file;
    if (a.pos.line != b.pos.line) return a.pos.line < b.pos.line;
    return a.pos.column < b.pos.column;
  });
}

namespace {

const char* SeverityName(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

}  // namespace

void PrintText(const Diagnostics& diagnostics, std::ostream& out) {
  for (const Diagnostic& d : diagnostics.list()) {
    out << d.file;
    if (d.pos.line != 0) out << ':' << d.pos.line << ':' << d.pos.column;
    out << ": " << SeverityName(d.severity) << ": " << d.message << " [" << d.code << "]\n";
  }
}

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

void PrintJson(const Diagnostics& diagnostics, std::ostream& out) {
  out << "[";
  bool first = true;
  for (const Diagnostic& d : diagnostics.list()) {
    out << (first ? "\n" : ",\n");
    first = false;
    out << "  {\"file\": " << JsonQuote(d.file) << ", \"line\": " << d.pos.line
        << ", \"column\": " << d.pos.column << ", \"severity\": \"" << SeverityName(d.severity)
        << "\", \"code\": " << JsonQuote(d.code) << ", \"message\": " << JsonQuote(d.message)
        << "}";
  }
  out << (first ? "]\n" : "\n]\n");
}

}  // namespace quenwick::dbtool
