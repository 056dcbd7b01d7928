#include "source_writer.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "base/utf8.h"
#include "element_fields.h"

namespace quenwick::dbtool {
namespace {

// Tables up to this size get a name for every slot; larger ones (which a
// loadable database may declare) are written with `variable_count` and slot
// numbers rather than thousands of names.
constexpr std::uint32_t kMaxNamedSlots = 256;

bool NeedsBasicString(std::string_view utf8) {
  return std::any_of(utf8.begin(), utf8.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || c == '\'';
  });
}

std::string BasicString(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (u < 0x20 || u == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(u));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

class FieldWriter {
 public:
  FieldWriter(std::ostringstream& out, const std::vector<std::string>& names)
      : out_(out), names_(names) {}

  void Operand(std::string_view key, const quenwick::Operand& o, FieldRole) {
    out_ << key << " = ";
    if (o.IsLiteral()) {
      out_ << TomlText(o.literal) << '\n';
    } else {
      out_ << "{ var = " << Slot(o.index) << " }\n";
    }
  }
  void Text(std::string_view key, const std::u16string& text, FieldRole) {
    out_ << key << " = " << TomlText(text) << '\n';
  }
  void Target(std::string_view key, const std::uint32_t& slot) {
    out_ << key << " = " << Slot(slot) << '\n';
  }
  void TargetPair(std::string_view key, const std::uint32_t& slot) { Target(key, slot); }
  template <class T>
  void Tables(std::string_view key, const T& block) {
    out_ << key << " = [\n";
    for (std::size_t r = 0; r < kTableRows; ++r) {
      out_ << "  [";
      for (std::size_t c = 0; c < kTableColumns; ++c) {
        out_ << (c ? ", " : "") << static_cast<unsigned>(block[r * kTableColumns + c]);
      }
      out_ << "],\n";
    }
    out_ << "]\n";
  }

 private:
  std::string Slot(std::uint32_t slot) const {
    if (slot < names_.size()) return "'" + names_[slot] + "'";
    return std::to_string(slot);
  }

  std::ostringstream& out_;
  const std::vector<std::string>& names_;
};

template <class Base>
void WriteElements(std::ostringstream& out, std::string_view list,
                   const std::vector<std::unique_ptr<Base>>& elements,
                   const std::vector<std::string>& names) {
  for (const auto& element : elements) {
    out << "\n[[" << list << "]]\n";
    FieldWriter writer(out, names);
    VisitConcrete(*element, [&](const auto& concrete) {
      using Class = std::remove_cvref_t<decltype(concrete)>;
      out << "type = '" << ElementTypeName(static_cast<std::uint32_t>(Class::kType)) << "'\n";
      VisitFields(concrete, writer);
    });
  }
}

}  // namespace

std::string TomlText(std::u16string_view text) {
  const auto utf8 = Utf16ToUtf8(text);
  if (!utf8) {
    std::string out = "{ utf16 = [";
    for (std::size_t i = 0; i < text.size(); ++i) {
      out += (i ? ", " : "") + std::to_string(static_cast<unsigned>(text[i]));
    }
    return out + "] }";
  }
  if (NeedsBasicString(*utf8)) return BasicString(*utf8);
  return "'" + *utf8 + "'";
}

std::vector<std::string> GenerateVariableNames(const Definition& definition) {
  const std::uint32_t count = definition.variables.size();
  if (count > kMaxNamedSlots) return {};
  std::vector<std::string> names;
  names.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) names.push_back("v" + std::to_string(i));
  return names;
}

std::string WriteSource(const Definition& definition, const std::vector<std::string>& names) {
  std::ostringstream out;
  out << "name = " << TomlText(definition.name) << '\n';
  out << "id = " << TomlText(definition.id) << '\n';
  out << "variables = [";
  for (std::size_t i = 0; i < names.size(); ++i) out << (i ? ", " : "") << '\'' << names[i] << '\'';
  out << "]\n";
  if (definition.variables.size() > names.size()) {
    out << "variable_count = " << definition.variables.size() << '\n';
  }
  if (definition.preconditions.empty()) out << "preconditions = []\n";
  if (definition.actions.empty()) out << "actions = []\n";
  WriteElements(out, "preconditions", definition.preconditions, names);
  WriteElements(out, "actions", definition.actions, names);
  return out.str();
}

}  // namespace quenwick::dbtool
