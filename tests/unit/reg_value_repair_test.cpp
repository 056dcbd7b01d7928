// RegValueRepair on the simulated machine: each well-known setting of the
// linter's table put back from a hijack that names the rogue, and every case
// in which nothing may be written. Each row runs through a Definition's Clean
// (so an empty variable slot is contained as it is in a real run) and checks
// the registry afterwards: the repaired value, the key's other value, and
// that nothing was created.
#include "elements/reg_value_repair.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/definition.h"
#include "engine/text.h"
#include "lint/well_known_settings.h"
#include "platform/sim/sim_machine.h"
#include "support/element_setup.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {

using dbtool::lint::kWellKnownSettings;

const std::u16string kRogueCommand = u"\"C:\\Program Files\\Rogue\\rogue.exe\" /START \"%1\" %*";
const std::u16string kMarker = u"%CSIDL_PROGRAM_FILES%\\rogue\\ROGUE.EXE";  // case of A-Z differs
const std::u16string kKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\open\\command";
const std::u16string kLink = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\roguefile";
// Another value in the repaired key, which must come through unchanged.
const std::u16string kBystander = u"IsolatedCommand";

enum class Shape { kPlain, kNoKey, kReadOnlyKey, kLinkKey };

struct Planted {
  win::DWORD type;
  std::vector<std::uint8_t> bytes;
};

struct Row {
  std::string label;
  std::u16string key;  // the value planted (or not) lives here
  std::u16string name;
  Operand marker;
  Operand replacement;
  std::optional<Planted> planted;     // none: the value is not there
  std::optional<std::u16string> want;  // the text afterwards; none: as planted
  Shape shape = Shape::kPlain;
};

Planted Text(std::u16string_view text, win::DWORD type = win::REG_SZ) {
  return {type, StringValueBytes(text)};
}

std::vector<Row> Rows() {
  std::vector<Row> rows;
  win::DWORD type = win::REG_SZ;
  for (const auto& setting : kWellKnownSettings) {
    // Alternate types: the repair keeps whichever the hijack left.
    type = type == win::REG_SZ ? win::REG_EXPAND_SZ : win::REG_SZ;
    rows.push_back({ToUtf8(setting.key) + " " + ToUtf8(setting.valueName), std::u16string(setting.key),
                    std::u16string(setting.valueName), Operand::Text(kMarker),
                    Operand::Text(std::u16string(setting.text)), Text(kRogueCommand, type),
                    std::u16string(setting.text)});
  }
  const Operand marker = Operand::Text(kMarker);
  const Operand setting = Operand::Text(u"\"%1\" %*");
  rows.push_back({"marker from a variable, variables kept in the text", kKey, u"", Operand::Variable(0),
                  Operand::Text(u"%SystemRoot%\\x.exe %1"), Text(kRogueCommand, win::REG_EXPAND_SZ),
                  u"%SystemRoot%\\x.exe %1"});
  rows.push_back({"missing key", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\roguefile\\shell\\open\\command", u"",
                  marker, setting, std::nullopt, std::nullopt, Shape::kNoKey});
  rows.push_back({"missing value", kKey, u"Rogue", marker, setting, std::nullopt, std::nullopt});
  rows.push_back({"multi-string", kKey, u"", marker, setting, Text(kRogueCommand, win::REG_MULTI_SZ),
                  std::nullopt});
  rows.push_back({"binary", kKey, u"", marker, setting, Text(kRogueCommand, win::REG_BINARY), std::nullopt});
  rows.push_back({"another program", kKey, u"", marker, setting,
                  Text(u"\"C:\\Program Files\\Tools\\launcher.exe\" \"%1\" %*"), std::nullopt});
  rows.push_back({"letters beyond A-Z are not folded", kKey, u"", Operand::Text(u"C:\\\u00e9t\u00e9\\r.exe"),
                  setting, Text(u"C:\\\u00c9T\u00c9\\r.exe \"%1\" %*"), std::nullopt});
  rows.push_back({"empty marker", kKey, u"", Operand::Text(u""), setting, Text(kRogueCommand), std::nullopt});
  rows.push_back({"marker with a wildcard names nothing", kKey, u"", Operand::Text(u"C:\\Program Files\\*"),
                  setting, Text(kRogueCommand), std::nullopt});
  rows.push_back({"empty replacement", kKey, u"", marker, Operand::Text(u""), Text(kRogueCommand), std::nullopt});
  rows.push_back({"marker from an empty slot", kKey, u"", Operand::Variable(1), setting, Text(kRogueCommand),
                  std::nullopt});
  rows.push_back({"replacement from an empty slot", kKey, u"", marker, Operand::Variable(1),
                  Text(kRogueCommand), std::nullopt});
  rows.push_back({"key that opens only for reading", kKey, u"", marker, setting, Text(kRogueCommand),
                  std::nullopt, Shape::kReadOnlyKey});
  rows.push_back({"key that is a link", kKey, u"", marker, setting,
                  Text(kRogueCommand), std::nullopt, Shape::kLinkKey});
  return rows;
}

// The value `name` of the link key itself, not of its target; `set` is
// written there first when given.
std::optional<std::u16string> OnLinkItself(sim::SimMachine& m, const std::u16string& name,
                                           const std::u16string* set = nullptr) {
  win::HKEY key{};
  if (m.RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\roguefile", win::REG_OPTION_OPEN_LINK,
                      win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, &key) != 0) {
    return std::nullopt;
  }
  if (set) {
    const std::vector<std::uint8_t> bytes = StringValueBytes(*set);
    m.RegSetValueExW(key, name.c_str(), 0, win::REG_SZ, bytes.data(), static_cast<win::DWORD>(bytes.size()));
  }
  std::vector<std::uint8_t> data(512);
  win::DWORD size = static_cast<win::DWORD>(data.size());
  const bool read = m.RegQueryValueExW(key, name.c_str(), nullptr, nullptr, data.data(), &size) == 0;
  m.RegCloseKey(key);
  if (!read) return std::nullopt;
  return RegistryValue(name, win::REG_SZ, data.data(), size).Text();
}

TEST(RegValueRepairTest, RepairsOnlyAValueThatNamesTheRogue) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.label);
    auto m = sim::SimMachine::Standard();
    sim::ScopedPlatform scope(*m);
    if (row.shape != Shape::kNoKey) m->SetString(row.key, kBystander, kRogueCommand);
    if (row.planted) m->SetValue(row.key, row.name, row.planted->type, row.planted->bytes);
    if (row.shape == Shape::kReadOnlyKey) m->SetKeyAccess(row.key, {true, false, true});
    std::u16string key = row.key;
    if (row.shape == Shape::kLinkKey) {
      // HKLM\SOFTWARE\Classes\roguefile -> ...\exefile\shell\open\command; the
      // link key itself names the rogue too.
      m->AddRegistryLink(kLink, row.key);
      OnLinkItself(*m, row.name, &kRogueCommand);
      key = kLink;
    }
    const std::vector<std::u16string> names = m->ValueNames(row.key);
    const std::size_t handles = m->OpenHandleCount();
    Definition definition(2);
    definition.variables.Set(0, kMarker);
    auto& repair = testing_support::AddAction<RegValueRepair>(definition);
    repair.key = Operand::Text(key);
    repair.valueName = Operand::Text(row.name);
    repair.marker = row.marker;
    repair.replacement = row.replacement;

    EXPECT_TRUE(definition.Clean());

    EXPECT_EQ(m->OpenHandleCount(), handles);
    EXPECT_EQ(m->KeyExists(row.key), row.shape != Shape::kNoKey);
    EXPECT_EQ(m->ValueNames(row.key), names);
    if (row.shape != Shape::kNoKey) {
      EXPECT_EQ(m->GetString(row.key, kBystander), kRogueCommand);
    }
    const std::optional<sim::RegistryValueData> got = m->GetValue(row.key, row.name);
    ASSERT_EQ(got.has_value(), row.planted.has_value());
    if (got) {
      EXPECT_EQ(got->type, row.planted->type);
      EXPECT_EQ(got->bytes, row.want ? StringValueBytes(*row.want) : row.planted->bytes);
    }
    if (row.shape == Shape::kLinkKey) {
      EXPECT_EQ(OnLinkItself(*m, row.name), kRogueCommand);
    }
  }
}

}  // namespace
}  // namespace quenwick
