#include "toml_syntax.h"

#include <cstdint>
#include <regex>

#include "base/utf8.h"

namespace quenwick::dbtool {
namespace {

// Arrays and inline tables nested deeper than this are refused; the library's
// own limit is higher, and the checker's recursion stays shallow.
constexpr int kMaxNesting = 64;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBareKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(c) || c == '_' || c == '-';
}
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
// Characters that may follow a number, boolean or date directly.
bool EndsScalar(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == ']' || c == '}' ||
         c == '#';
}
// Characters a number or date is made of (a date-time's blank is handled apart).
bool InNumberOrDate(char c) {
  return IsBareKeyChar(c) || c == '+' || c == '.' || c == ':';
}

// The position of every byte would cost memory; the checker instead moves a
// cursor and keeps the line and column (in characters) of where it stands.
class Checker {
 public:
  explicit Checker(std::string_view text) : text_(text) {}

  std::optional<TomlSyntaxError> Run() {
    if (text_.starts_with(kUtf8Bom)) pos_ = kUtf8Bom.size();
    if (CheckCharacters()) Document();
    return error_;
  }

 private:
  char Peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  bool LookingAt(std::string_view s) const { return text_.substr(pos_).starts_with(s); }

  void Advance() {
    if (AtEnd()) return;
    const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
    if (c == '\n') {
      ++line_;
      column_ = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++column_;
    }
    // A continuation byte belongs to the character already counted.
    while (!AtEnd() && (static_cast<unsigned char>(text_[pos_]) & 0xC0) == 0x80) ++pos_;
  }
  void Advance(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Advance();
  }

  bool Fail(std::string message) {
    if (!error_) error_ = TomlSyntaxError{{line_, column_}, std::move(message)};
    return false;
  }

  // Well-formed UTF-8 without control characters other than the tab and line
  // ends (CR only before LF), whatever the context: TOML allows no others
  // anywhere. Leaves the cursor where it was.
  bool CheckCharacters() {
    const std::size_t start = pos_;
    const std::uint32_t line = line_, column = column_;
    bool ok = true;
    while (ok && !AtEnd()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c < 0x80) {
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
          ok = Fail("a control character is not allowed here (write it as an escape in a \"...\" string)");
        } else if (c == '\r' && Peek(1) != '\n') {
          ok = Fail("a carriage return must be followed by a line feed");
        }
      } else {
        ok = DecodeUtf8(text_, pos_).valid || Fail("the file is not valid UTF-8");
      }
      if (ok) Advance();
    }
    pos_ = start;
    line_ = line;
    column_ = column;
    return ok;
  }

  void SkipBlanks() {
    while (Peek() == ' ' || Peek() == '\t') Advance();
  }
  bool AtLineEnd() const { return Peek() == '\n' || LookingAt("\r\n"); }
  void SkipComment() {
    if (Peek() != '#') return;
    while (!AtEnd() && !AtLineEnd()) Advance();
  }
  // Blanks, comments and line ends, as they may stand between array items.
  void SkipSpaceAndComments() {
    for (;;) {
      SkipBlanks();
      SkipComment();
      if (!AtLineEnd()) return;
      Advance(Peek() == '\r' ? 2 : 1);
    }
  }

  void Document() {
    while (!error_ && !AtEnd()) {
      SkipBlanks();
      if (Peek() == '[') {
        TableHeader();
      } else if (Peek() != '#' && !AtLineEnd() && !AtEnd()) {
        KeyValue(0);
      }
      if (error_) return;
      SkipBlanks();
      SkipComment();
      if (AtEnd()) return;
      if (!AtLineEnd()) {
        Fail("expected the end of the line");
        return;
      }
      Advance(Peek() == '\r' ? 2 : 1);
    }
  }

  bool TableHeader() {
    Advance();  // '['
    const bool arrayOfTables = Peek() == '[';
    if (arrayOfTables) Advance();
    SkipBlanks();
    if (!Key()) return false;
    SkipBlanks();
    if (Peek() != ']') return Fail("expected ']' after the table name");
    Advance();
    if (arrayOfTables) {
      if (Peek() != ']') return Fail("expected ']]' after the table name");
      Advance();
    }
    return true;
  }

  bool Key() {
    for (;;) {
      if (!SimpleKey()) return false;
      SkipBlanks();
      if (Peek() != '.') return true;
      Advance();
      SkipBlanks();
    }
  }

  bool SimpleKey() {
    if (Peek() == '"') return BasicString();
    if (Peek() == '\'') return LiteralString();
    if (!IsBareKeyChar(Peek())) return Fail("expected a key");
    while (IsBareKeyChar(Peek())) Advance();
    return true;
  }

  bool KeyValue(int depth) {
    if (!Key()) return false;
    SkipBlanks();
    if (Peek() != '=') return Fail("expected '=' after the key");
    Advance();
    SkipBlanks();
    return Value(depth);
  }

  bool Value(int depth) {
    if (depth > kMaxNesting) return Fail("arrays and inline tables are nested too deep");
    const char c = Peek();
    if (LookingAt("\"\"\"")) return MultiLineString('"');
    if (LookingAt("'''")) return MultiLineString('\'');
    if (c == '"') return BasicString();
    if (c == '\'') return LiteralString();
    if (c == '[') return Array(depth + 1);
    if (c == '{') return InlineTable(depth + 1);
    if (LookingAt("true")) return Word(4);
    if (LookingAt("false")) return Word(5);
    if (IsDigit(c) || c == '+' || c == '-' || c == 'i' || c == 'n') return NumberOrDate();
    return Fail("expected a value");
  }

  bool Word(std::size_t length) {
    Advance(length);
    return AtEnd() || EndsScalar(Peek()) || Fail("unexpected character after a value");
  }

  bool Escape() {
    Advance();  // backslash
    const char c = Peek();
    if (c == 'b' || c == 't' || c == 'n' || c == 'f' || c == 'r' || c == '"' || c == '\\') {
      Advance();
      return true;
    }
    if (c != 'u' && c != 'U') return Fail("unknown escape sequence");
    const std::size_t digits = c == 'u' ? 4 : 8;
    Advance();
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < digits; ++k) {
      const char h = Peek();
      if (!IsHexDigit(h)) return Fail("a \\u escape needs hexadecimal digits");
      value = value * 16 + static_cast<std::uint32_t>(IsDigit(h) ? h - '0' : (h | 0x20) - 'a' + 10);
      if (value > 0x10FFFF) return Fail("a \\U escape beyond U+10FFFF");
      Advance();
    }
    if (value >= 0xD800 && value <= 0xDFFF) return Fail("an escape of a surrogate code point");
    return true;
  }

  bool BasicString() {
    Advance();  // '"'
    for (;;) {
      if (AtEnd() || AtLineEnd()) return Fail("a string is not closed before the end of the line");
      if (Peek() == '"') break;
      if (Peek() == '\\') {
        if (!Escape()) return false;
      } else {
        Advance();
      }
    }
    Advance();
    return true;
  }

  bool LiteralString() {
    Advance();  // '\''
    while (Peek() != '\'') {
      if (AtEnd() || AtLineEnd()) return Fail("a string is not closed before the end of the line");
      Advance();
    }
    Advance();
    return true;
  }

  bool MultiLineString(char quote) {
    Advance(3);
    for (;;) {
      if (AtEnd()) return Fail("a multi-line string is not closed");
      if (Peek() == quote && Peek(1) == quote && Peek(2) == quote) {
        std::size_t run = 3;
        while (Peek(run) == quote) ++run;
        // Up to two quotes may stand right before the closing three.
        if (run > 5) return Fail("too many quotes at the end of a multi-line string");
        Advance(run);
        return true;
      }
      if (quote == '"' && Peek() == '\\') {
        if (!MultiLineEscape()) return false;
      } else {
        Advance();
      }
    }
  }

  // In a multi-line basic string a backslash at the end of a line (blanks may
  // follow it) joins the lines.
  bool MultiLineEscape() {
    std::size_t k = 1;
    while (Peek(k) == ' ' || Peek(k) == '\t') ++k;
    if (Peek(k) == '\n' || (Peek(k) == '\r' && Peek(k + 1) == '\n')) {
      Advance(k);
      SkipSpaceAndNewLines();
      return true;
    }
    return Escape();
  }
  void SkipSpaceAndNewLines() {
    while (Peek() == ' ' || Peek() == '\t' || AtLineEnd()) Advance(Peek() == '\r' ? 2 : 1);
  }

  bool Array(int depth) {
    Advance();  // '['
    for (;;) {
      SkipSpaceAndComments();
      if (Peek() == ']') break;
      if (!Value(depth)) return false;
      SkipSpaceAndComments();
      if (Peek() == ',') {
        Advance();
        continue;
      }
      if (Peek() != ']') return Fail("expected ',' or ']' in an array");
      break;
    }
    Advance();
    return true;
  }

  bool InlineTable(int depth) {
    Advance();  // '{'
    SkipBlanks();
    if (Peek() == '}') {
      Advance();
      return true;
    }
    for (;;) {
      if (!KeyValue(depth)) return false;
      SkipBlanks();
      if (Peek() == '}') break;
      if (Peek() != ',') return Fail("expected ',' or '}' in an inline table (it must stay on one line)");
      Advance();
      SkipBlanks();
    }
    Advance();
    return true;
  }

  bool NumberOrDate() {
    const std::size_t start = pos_;
    const std::uint32_t line = line_, column = column_;
    while (InNumberOrDate(Peek())) Advance();
    std::string token(text_.substr(start, pos_ - start));
    // "1979-05-27 07:32:00": a date and a time may be parted by one blank.
    static const std::regex kDateOnly(R"(\d{4}-\d{2}-\d{2})");
    if (std::regex_match(token, kDateOnly) && Peek() == ' ' && IsDigit(Peek(1)) &&
        IsDigit(Peek(2)) && Peek(3) == ':') {
      Advance();
      while (InNumberOrDate(Peek())) Advance();
      token = std::string(text_.substr(start, pos_ - start));
    }
    if (!IsNumber(token) && !IsDateOrTime(token)) {
      error_ = TomlSyntaxError{{line, column}, "'" + token + "' is not a number, a date or a time"};
      return false;
    }
    return AtEnd() || EndsScalar(Peek()) || Fail("unexpected character after a value");
  }

  static bool IsNumber(const std::string& token) {
    static const std::regex kNumber(
        R"([+-]?(0|[1-9](_?\d)*)((\.\d(_?\d)*)?([eE][+-]?\d(_?\d)*)?)|)"
        R"(0x[0-9A-Fa-f](_?[0-9A-Fa-f])*|0o[0-7](_?[0-7])*|0b[01](_?[01])*|[+-]?(inf|nan))");
    return std::regex_match(token, kNumber);
  }

  static bool IsDateOrTime(const std::string& token) {
    static const std::regex kDateTime(
        R"((\d{4})-(\d{2})-(\d{2})([Tt ](\d{2}):(\d{2}):(\d{2})(\.\d+)?([Zz]|[+-]\d{2}:\d{2})?)?)");
    static const std::regex kTime(R"((\d{2}):(\d{2}):(\d{2})(\.\d+)?)");
    std::smatch m;
    const auto number = [&](int group) { return std::stoi(m[group].str()); };
    if (std::regex_match(token, m, kTime)) {
      return number(1) <= 23 && number(2) <= 59 && number(3) <= 60;
    }
    if (!std::regex_match(token, m, kDateTime)) return false;
    if (number(2) < 1 || number(2) > 12 || number(3) < 1 || number(3) > 31) return false;
    return !m[4].matched || (number(5) <= 23 && number(6) <= 59 && number(7) <= 60);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::uint32_t line_ = 1;
  std::uint32_t column_ = 1;
  std::optional<TomlSyntaxError> error_;
};

}  // namespace

std::optional<TomlSyntaxError> FindTomlSyntaxError(std::string_view text) {
  return Checker(text).Run();
}

}  // namespace quenwick::dbtool
