#include "toml_text.h"

#include "base/utf8.h"

namespace quenwick::dbtool {
namespace {

constexpr std::int64_t kMaxCodeUnit = 0xFFFF;

}  // namespace

ParsedToml ParseToml(std::string_view text, const std::string& file) {
  if (auto error = FindTomlSyntaxError(text)) return {std::nullopt, std::move(*error)};
  toml::parse_result parsed = toml::parse(text, file);
  if (!parsed) {
    return {std::nullopt, {PosOf(parsed.error().source()), std::string(parsed.error().description())}};
  }
  return {std::move(parsed.table()), {}};
}

std::optional<toml::table> ParseTomlText(std::string_view text, const std::string& file,
                                         Diagnostics& diagnostics) {
  ParsedToml parsed = ParseToml(text, file);
  if (!parsed.table) diagnostics.Error(file, parsed.error.pos, "toml-syntax", std::move(parsed.error.message));
  return std::move(parsed.table);
}

std::string KindName(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    default: return "nothing";
  }
}

std::optional<std::u16string> ReadTextNode(const toml::node& node, const std::string& file,
                                           std::string_view what, Diagnostics& diagnostics) {
  if (const auto* text = node.as_string()) {
    auto wide = Utf8ToUtf16(text->get());
    if (!wide) {
      diagnostics.Error(file, PosOf(node), "bad-text", std::string(what) + " is not valid UTF-8");
      return std::nullopt;
    }
    if (wide->find(u'\0') != std::u16string::npos) {
      diagnostics.Error(file, PosOf(node), "bad-text",
                        std::string(what) + " holds a zero character, which ends a database text");
      return std::nullopt;
    }
    return wide;
  }
  const auto* table = node.as_table();
  const toml::node* units = table ? table->get("utf16") : nullptr;
  if (table == nullptr || units == nullptr || table->size() != 1 || !units->is_array()) {
    diagnostics.Error(file, PosOf(node), "bad-text",
                      std::string(what) + " must be a string or { utf16 = [code units] }, not " +
                          KindName(node));
    return std::nullopt;
  }
  std::u16string out;
  for (const toml::node& unit : *units->as_array()) {
    const auto* number = unit.as_integer();
    if (number == nullptr || number->get() < 1 || number->get() > kMaxCodeUnit) {
      diagnostics.Error(file, PosOf(unit), "bad-text",
                        std::string(what) + ": a UTF-16 code unit is a number from 1 to 65535");
      return std::nullopt;
    }
    out += static_cast<char16_t>(number->get());
  }
  return out;
}

std::optional<std::uint64_t> ReadUnsigned(const toml::node& node, std::uint64_t max,
                                          const std::string& file, std::string_view what,
                                          Diagnostics& diagnostics) {
  const auto* number = node.as_integer();
  if (number == nullptr || number->get() < 0 ||
      static_cast<std::uint64_t>(number->get()) > max) {
    diagnostics.Error(file, PosOf(node), "bad-number",
                      std::string(what) + " must be a whole number from 0 to " +
                          std::to_string(max));
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(number->get());
}

}  // namespace quenwick::dbtool
