// RegValueRepair on the simulated machine: each well-known setting of the
// linter's table put back from a hijack that names the rogue, and every case
// in which nothing may be written. Each row runs through a Definition's Clean
// (so that an empty variable slot is contained as in a real run) and checks
// the registry afterwards: the value, the key's other value, nothing created.
#include "elements/reg_value_repair.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "engine/definition.h"
#include "lint/well_known_settings.h"
#include "platform/sim/sim_machine.h"
#include "support/element_setup.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {

const std::u16string kHijack = u"\"C:\\Program Files\\Rogue\\rogue.exe\" /START \"%1\" %*";
const Operand kMarker = Operand::Text(u"%CSIDL_PROGRAM_FILES%\\rogue\\ROGUE.EXE");  // A-Z case differs
const Operand kDefault = Operand::Text(u"\"%1\" %*");
const std::u16string kKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\open\\command";
const std::u16string kLinkSubkey = u"SOFTWARE\\Classes\\roguefile";  // a link to kKey when asked for
const std::u16string kOther = u"IsolatedCommand";  // must come through every row unchanged

enum class Shape { kPlain, kNoKey, kLink };

struct Row {
  std::string label;
  std::u16string key, name;
  Operand marker, replacement;
  std::optional<sim::RegistryValueData> planted;  // none: the value is not there
  std::optional<std::u16string> want;              // the text afterwards; none: as planted
  Shape shape = Shape::kPlain;
};

sim::RegistryValueData Text(std::u16string_view text, win::DWORD type = win::REG_SZ) {
  return {type, StringValueBytes(text)};
}

std::vector<Row> Rows() {
  std::vector<Row> rows;
  for (const auto& setting : dbtool::lint::kWellKnownSettings) {
    // Every other row an expandable string: the repair keeps the value's type.
    const win::DWORD type = rows.size() % 2 ? win::REG_EXPAND_SZ : win::REG_SZ;
    rows.push_back({ToUtf8(setting.key) + " " + ToUtf8(setting.valueName), std::u16string(setting.key),
                    std::u16string(setting.valueName), kMarker, Operand::Text(std::u16string(setting.text)),
                    Text(kHijack, type), std::u16string(setting.text)});
  }
  const auto refused = [&](std::string label, Operand marker, Operand replacement, auto planted) {
    rows.push_back(
        {std::move(label), kKey, u"", std::move(marker), std::move(replacement), planted, std::nullopt});
  };
  rows.push_back({"variables kept in the text, marker from a slot", kKey, u"", Operand::Variable(0),
                  Operand::Text(u"%SystemRoot%\\x.exe %1"), Text(kHijack, win::REG_EXPAND_SZ),
                  u"%SystemRoot%\\x.exe %1"});
  rows.push_back({"missing key", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\nofile\\shell\\open\\command", u"",
                  kMarker, kDefault, std::nullopt, std::nullopt, Shape::kNoKey});
  rows.push_back({"missing value", kKey, u"Rogue", kMarker, kDefault, std::nullopt, std::nullopt});
  refused("another type", kMarker, kDefault, Text(kHijack, win::REG_MULTI_SZ));
  refused("another program", kMarker, kDefault, Text(u"\"C:\\Program Files\\Tools\\run.exe\" \"%1\" %*"));
  refused("only A-Z folded", Operand::Text(u"\\\u00e9t\u00e9\\"), kDefault,
          Text(u"C:\\\u00c9T\u00c9\\r.exe"));
  refused("empty marker", Operand::Text(u""), kDefault, Text(kHijack));
  refused("marker with a wildcard", Operand::Text(u"C:\\Program Files\\*"), kDefault, Text(kHijack));
  refused("empty replacement", kMarker, Operand::Text(u""), Text(kHijack));
  refused("marker from an empty slot", Operand::Variable(1), kDefault, Text(kHijack));
  refused("replacement from an empty slot", kMarker, Operand::Variable(1), Text(kHijack));
  refused("key that is a link", kMarker, kDefault, Text(kHijack));
  rows.back().shape = Shape::kLink;
  return rows;
}

// The text of the value `name` of the link key itself (not of its target),
// after writing `set` there when given.
std::optional<std::u16string> OnLink(sim::SimMachine& m, const std::u16string& name,
                                     const std::u16string* set = nullptr) {
  win::HKEY link{};
  if (m.RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kLinkSubkey.c_str(), win::REG_OPTION_OPEN_LINK,
                      win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, &link) != 0) {
    return std::nullopt;
  }
  if (set) {
    const std::vector<std::uint8_t> bytes = StringValueBytes(*set);
    m.RegSetValueExW(link, name.c_str(), 0, win::REG_SZ, bytes.data(), static_cast<win::DWORD>(bytes.size()));
  }
  std::vector<std::uint8_t> data(512);
  win::DWORD size = static_cast<win::DWORD>(data.size());
  const bool read = m.RegQueryValueExW(link, name.c_str(), nullptr, nullptr, data.data(), &size) == 0;
  m.RegCloseKey(link);
  return read ? std::optional(RegistryValue(name, win::REG_SZ, data.data(), size).Text()) : std::nullopt;
}

TEST(RegValueRepairTest, RepairsOnlyAStringValueThatNamesTheRogue) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.label);
    auto m = sim::SimMachine::Standard();
    sim::ScopedPlatform scope(*m);
    const bool keyThere = row.shape != Shape::kNoKey;
    if (keyThere) m->SetString(row.key, kOther, kHijack);
    if (row.planted) m->SetValue(row.key, row.name, row.planted->type, row.planted->bytes);
    if (row.shape == Shape::kLink) {
      // HKLM\SOFTWARE\Classes\roguefile -> ...\exefile\shell\open\command; the
      // link key itself names the rogue too.
      m->AddRegistryLink(u"HKEY_LOCAL_MACHINE\\" + kLinkSubkey, row.key);
      OnLink(*m, row.name, &kHijack);
    }
    const std::vector<std::u16string> names = m->ValueNames(row.key);
    const std::size_t handles = m->OpenHandleCount();
    Definition definition(2);
    definition.variables.Set(0, kMarker.literal);
    auto& repair = testing_support::AddAction<RegValueRepair>(definition);
    repair.key = Operand::Text(row.shape == Shape::kLink ? u"HKEY_LOCAL_MACHINE\\" + kLinkSubkey : row.key);
    repair.valueName = Operand::Text(row.name);
    repair.marker = row.marker;
    repair.replacement = row.replacement;

    EXPECT_TRUE(definition.Clean());

    EXPECT_EQ(m->OpenHandleCount(), handles);
    EXPECT_EQ(m->KeyExists(row.key), keyThere);
    EXPECT_EQ(m->ValueNames(row.key), names);
    EXPECT_EQ(m->GetString(row.key, kOther), keyThere ? std::optional(kHijack) : std::nullopt);
    const std::optional<sim::RegistryValueData> got = m->GetValue(row.key, row.name);
    ASSERT_EQ(got.has_value(), row.planted.has_value());
    if (got) {
      EXPECT_EQ(got->type, row.planted->type);
      EXPECT_EQ(got->bytes, row.want ? StringValueBytes(*row.want) : row.planted->bytes);
    }
    if (row.shape == Shape::kLink) {
      EXPECT_EQ(OnLink(*m, row.name), kHijack);
    }
  }
}

}  // namespace
}  // namespace quenwick
