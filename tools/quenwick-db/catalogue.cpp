#include "catalogue.h"

#include <array>
#include <map>
#include <sstream>

#include "base/utf8.h"
#include "element_fields.h"

namespace quenwick::dbtool {
namespace {

// The headings of a Definition's lists, in the order they are shown.
enum class Kind { kFinds, kEnds, kRuns, kRepairs, kDeletes, kCount };
constexpr std::array<std::string_view, static_cast<std::size_t>(Kind::kCount)> kKindHeadings = {
    "Finds", "Ends", "Runs", "Repairs", "Deletes"};

// How each element class reads in words; "{field}" stands for the field as
// shown: a literal in backticks, a variable as where its text comes from
// ("the file named by the value ... in the key ...").
// `found` is said of a precondition, `done` (under `kind`) of an action and
// `gives` of the variable the element writes. A class missing here is shown
// by its name and fields.
struct Phrase {
  std::string_view type;
  std::string_view found;
  Kind kind;
  std::string_view done;
  std::string_view gives;
};

constexpr Phrase kPhrases[] = {
    {"FileExist", "the file {path}", Kind::kFinds, "", ""},
    {"FolderExist", "the folder {path}", Kind::kFinds, "", ""},
    {"RegKeyExist", "the registry key {key}", Kind::kFinds, "", ""},
    {"RegValueExist", "the value {value_name} in the key {key}", Kind::kFinds, "", ""},
    {"GetRegValue", "the value {value_name} in the key {key}", Kind::kFinds, "",
     "the value {value_name} in the key {key}"},
    {"ExtractPathFromCommand", "", Kind::kFinds, "", "the program that {command} starts"},
    {"StrConcat", "", Kind::kFinds, "", "{first} followed by {second}"},
    {"Antivirus2009Prec1",
     "a key under {key_prefix} whose value {path_value} (or that of its subkey {options_key}) names a "
     "program ending in {exe_suffix}",
     Kind::kFinds, "", ""},
    {"ASDPrec1", "an entry holding {pattern} in the `Userinit` logon value", Kind::kRepairs,
     "the `Userinit` logon value: its entries holding {pattern} are taken out", ""},
    {"KillProcess", "", Kind::kEnds, "{program}", ""},
    {"Uninstall", "", Kind::kRuns, "{program} with the arguments {arguments}", ""},
    {"InnoSetupUninstall", "", Kind::kRuns,
     "the uninstaller that the value {value_name} of the key {application_key} under {key_prefix} names, "
     "with {arguments}",
     ""},
    {"FileDelete", "", Kind::kDeletes, "the file {path}", ""},
    {"FolderDelete", "", Kind::kDeletes, "the folder {path}, with everything in it", ""},
    {"RegKeyDelete", "", Kind::kDeletes, "the registry key {key}, with its subkeys", ""},
    {"RegValueDelete", "", Kind::kDeletes, "the value {value_name} in the key {key}", ""},
    {"RegValueRepair", "", Kind::kRepairs,
     "the value {value_name} in the key {key}: set to {replacement} where it holds {marker}", ""},
};

const Phrase* FindPhrase(std::string_view type) {
  for (const Phrase& phrase : kPhrases) {
    if (phrase.type == type) return &phrase;
  }
  return nullptr;
}

std::string Code(std::string_view text) {
  if (text.find('`') != std::string_view::npos) return "`` " + std::string(text) + " ``";
  return "`" + std::string(text) + "`";
}

// Shows a Definition's elements in words, following its variables from the
// element that writes them to those that read them.
class Describer {
  struct Shown {
    std::string text;
    bool variable = false;
    bool program = false;  // the text names a program (not a command line or other text)
    FieldRole role = FieldRole::kOther;
  };

 public:
  explicit Describer(const SourceDefinition& source) : source_(source) {}

  std::array<std::vector<std::string>, static_cast<std::size_t>(Kind::kCount)> Describe() {
    for (const auto& element : source_.definition->preconditions) Add(*element, true);
    for (const auto& element : source_.definition->actions) Add(*element, false);
    return lists_;
  }

  // Field visitor: each field as shown, and the slots the element writes.
  void Operand(std::string_view key, const quenwick::Operand& o, FieldRole role) {
    if (o.IsLiteral()) {
      Text(key, o.literal, role);
    } else {
      const auto it = slots_.find(o.index);
      Shown shown = it != slots_.end() ? it->second : Shown{"a text found earlier"};
      shown.variable = true;
      shown.role = role;
      fields_[std::string(key)] = std::move(shown);
    }
  }
  void Text(std::string_view key, const std::u16string& text, FieldRole role) {
    const std::string shown = Code(ToUtf8(text));
    fields_[std::string(key)] = {
        text.empty() ? (role == FieldRole::kValueName ? "(default)" : "an empty text") : shown};
  }
  void Target(std::string_view, const std::uint32_t& slot) { targets_.push_back(slot); }
  void TargetPair(std::string_view, const std::uint32_t& slot) {
    pairTarget_ = slot;
  }
  template <class T>
  void Tables(std::string_view, const T&) {}

 private:
  template <class Base>
  void Add(const Base& element, bool precondition) {
    fields_.clear();
    targets_.clear();
    pairTarget_.reset();
    const std::string_view type =
        ElementTypeName(VisitConcrete(element, [&](const auto& concrete) { VisitFields(concrete, *this); }));
    const Phrase* phrase = FindPhrase(type);
    if (phrase == nullptr) {
      std::string shown = std::string(type) + ":";
      for (const auto& [key, value] : fields_) shown += " " + key + " " + value.text;
      lists_[static_cast<std::size_t>(precondition ? Kind::kFinds : Kind::kRuns)].push_back(shown);
      return;
    }
    const std::string_view said = precondition ? phrase->found : phrase->done;
    const Kind kind = precondition ? Kind::kFinds : phrase->kind;
    if (!said.empty()) lists_[static_cast<std::size_t>(kind)].push_back(Fill(said, true));
    for (const std::uint32_t slot : targets_) {
      slots_[slot] = {Fill(phrase->gives, false), false, type == "ExtractPathFromCommand"};
    }
    if (pairTarget_) {
      slots_[*pairTarget_] = {"the program that key names", false, true};
      slots_[*pairTarget_ + 1] = {"the name of that key"};
    }
  }

  // A variable as a field of the element's own phrase: "the file named by
  // the value ...", "the program that the value ... starts".
  static std::string InSentence(const Shown& shown) {
    if (shown.role == FieldRole::kProgram) {
      return shown.program ? shown.text : "the program that " + shown.text + " starts";
    }
    return (shown.program ? "that is " : "named by ") + shown.text;
  }

  // `sentence`: the phrase is said of the element itself, not of the text
  // it gives a variable.
  std::string Fill(std::string_view phrase, bool sentence) const {
    std::string out;
    for (std::size_t i = 0; i < phrase.size(); ++i) {
      const std::size_t close = phrase[i] == '{' ? phrase.find('}', i) : std::string_view::npos;
      if (close == std::string_view::npos) {
        out += phrase[i];
        continue;
      }
      const auto it = fields_.find(std::string(phrase.substr(i + 1, close - i - 1)));
      if (it == fields_.end()) {
        out += "?";
      } else {
        out += sentence && it->second.variable ? InSentence(it->second) : it->second.text;
      }
      i = close;
    }
    return out;
  }

  const SourceDefinition& source_;
  std::map<std::uint32_t, Shown> slots_;
  std::map<std::string, Shown> fields_;
  std::vector<std::uint32_t> targets_;
  std::optional<std::uint32_t> pairTarget_;
  std::array<std::vector<std::string>, static_cast<std::size_t>(Kind::kCount)> lists_;
};

void WriteLists(const SourceDefinition& source, std::ostream& out) {
  const auto lists = Describer(source).Describe();
  for (std::size_t kind = 0; kind < lists.size(); ++kind) {
    if (lists[kind].empty()) continue;
    out << "- **" << kKindHeadings[kind] << "**:\n";
    for (const std::string& item : lists[kind]) out << "  - " << item << '\n';
  }
}

std::string Links(const std::vector<std::string>& references) {
  std::string out;
  for (const std::string& reference : references) out += (out.empty() ? "<" : ", <") + reference + ">";
  return out.empty() ? "none given" : out;
}

// A source's plain text as Markdown text: "<" would open an HTML tag (as in
// a family's "<Brand>").
std::string PlainText(std::string text) {
  for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 2)) text.insert(at, "\\");
  return text;
}

std::string TableCell(std::string text) {
  for (std::size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at + 2)) text.insert(at, "\\");
  return text;
}

void WriteDefinition(const SourceDefinition& source, std::ostream& out) {
  out << "### " << ToUtf8(source.definition->name) << "\n\n";
  if (!source.description.empty()) out << PlainText(source.description) << "\n\n";
  WriteLists(source, out);
  out << "- **Sources**: " << Links(source.references) << "\n\n";
}

// The brands of one family, `first` to `last` (exclusive) in `sources`.
void WriteFamily(const FamilyInfo& family, const SourceDefinition* first, const SourceDefinition* last,
                 std::ostream& out) {
  const std::size_t count = static_cast<std::size_t>(last - first);
  out << "### The " << family.name << " family (" << count << (count == 1 ? " brand" : " brands") << ")\n\n";
  if (!family.pattern.description.empty()) out << PlainText(family.pattern.description) << "\n\n";
  out << "Each brand below is a Definition of its own. They rest on the published layout of the family, "
         "shown by the write-ups under Sources, not on a write-up of each brand; `<Brand>` stands for the "
         "brand's name.\n\n";
  WriteLists(family.pattern, out);
  out << "- **Sources** of the layout: " << Links(family.pattern.references) << "\n\n";
  out << "| Brand | Named as a brand of the family by |\n|---|---|\n";
  for (const SourceDefinition* brand = first; brand != last; ++brand) {
    out << "| " << TableCell(brand->brand) << " | " << TableCell(Links(brand->brandReferences)) << " |\n";
  }
  out << '\n';
}

}  // namespace

std::string RenderCatalogue(const std::vector<SourceDefinition>& sources) {
  std::size_t brands = 0;
  for (const SourceDefinition& source : sources) brands += source.family ? 1 : 0;
  std::ostringstream out;
  out << "# What Quenwick finds and removes\n\n"
         "<!-- Generated by `quenwick-db catalogue definitions -o docs/catalogue.md` from definitions/; "
         "edit the sources, not this page. -->\n\n"
      << "Quenwick knows " << sources.size() << " rogue applications (" << brands
      << " of them brands of a family that share one layout). For each one this page says what Quenwick "
         "looks for on the machine (everything under Finds must be there) and what cleaning it then does: "
         "the programs it ends, the uninstallers it runs, the settings it repairs and what it deletes. "
         "Paths start with the name of a Windows folder (`%CSIDL_PROGRAM_FILES%` is the Program Files "
         "folder, `%CSIDL_APPDATA%` the user's Application Data, `%CSIDL_PROGRAMS%` the user's Start Menu "
         "programs, ...). The sources are the public write-ups each Definition rests on.\n\n"
         "## Definitions\n\n";
  for (std::size_t i = 0; i < sources.size();) {
    if (!sources[i].family) {
      WriteDefinition(sources[i++], out);
      continue;
    }
    std::size_t end = i;
    while (end < sources.size() && sources[end].family == sources[i].family) ++end;
    WriteFamily(*sources[i].family, &sources[i], sources.data() + end, out);
    i = end;
  }
  return out.str();
}

}  // namespace quenwick::dbtool
