// Checks of registry paths.
#include <algorithm>
#include <array>

#include "base/text.h"
#include "base/utf8.h"
#include "lint_rules.h"
#include "well_known_settings.h"

namespace quenwick::dbtool::lint {
namespace {

// The root names the program's registry parser recognises, folded.
constexpr std::array<std::u16string_view, 3> kRoots = {
    u"hkey_current_user", u"hkey_local_machine", u"hkey_classes_root"};

// Names people write for roots that the program does not accept, with the
// name it needs.
struct RootHint {
  std::u16string_view written;
  std::u16string_view meant;
};
constexpr std::array<RootHint, 6> kRootHints = {{
    {u"hklm", u"HKEY_LOCAL_MACHINE"},
    {u"key_local_machine", u"HKEY_LOCAL_MACHINE"},
    {u"hkcu", u"HKEY_CURRENT_USER"},
    {u"key_current_user", u"HKEY_CURRENT_USER"},
    {u"hkcr", u"HKEY_CLASSES_ROOT"},
    {u"key_classes_root", u"HKEY_CLASSES_ROOT"},
}};

constexpr std::u16string_view kWinlogonKey = u"software\\microsoft\\windows nt\\currentversion\\winlogon";
constexpr std::array<std::u16string_view, 2> kWinlogonValues = {u"userinit", u"shell"};
constexpr std::u16string_view kWowPrefix = u"software\\wow6432node\\";

struct SplitKey {
  std::u16string root;    // folded
  std::u16string subkey;  // folded, no trailing backslashes, wow6432node folded away
};

SplitKey Split(std::u16string_view text) {
  const std::u16string folded = ToLowerAscii(text);
  const std::size_t slash = folded.find(u'\\');
  SplitKey out;
  out.root = folded.substr(0, slash);
  if (slash == std::u16string::npos) return out;
  out.subkey = folded.substr(slash + 1);
  while (!out.subkey.empty() && out.subkey.back() == u'\\') out.subkey.pop_back();
  if (out.subkey.starts_with(kWowPrefix)) {
    out.subkey = u"software\\" + out.subkey.substr(kWowPrefix.size());
  } else if (out.subkey == u"software\\wow6432node") {
    out.subkey = u"software";
  }
  return out;
}

// The key as HKEY_LOCAL_MACHINE holds it: HKEY_CLASSES_ROOT shows
// SOFTWARE\Classes there.
SplitKey MachineKey(std::u16string_view text) {
  SplitKey key = Split(text);
  if (key.root == u"hkey_classes_root") {
    key.root = u"hkey_local_machine";
    key.subkey = key.subkey.empty() ? std::u16string(u"software\\classes") : u"software\\classes\\" + key.subkey;
  }
  return key;
}

bool IsKnownRoot(std::u16string_view folded) {
  return std::find(kRoots.begin(), kRoots.end(), folded) != kRoots.end();
}

}  // namespace

void CheckRegistryPath(const Reporter& report, SourcePos pos, FieldRole role,
                       std::u16string_view text) {
  const std::size_t slash = text.find(u'\\');
  if (slash == std::u16string_view::npos) {
    report.Error(pos, "unknown-registry-root",
                 Show(text) + " has no backslash after its root name; the program takes it for no key");
    return;
  }
  const std::u16string root = ToLowerAscii(text.substr(0, slash));
  if (!IsKnownRoot(root)) {
    std::string message = "the registry root " + Show(text.substr(0, slash)) +
                          " is not one the program recognises (HKEY_CURRENT_USER, "
                          "HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT)";
    const auto hint = std::find_if(kRootHints.begin(), kRootHints.end(),
                                   [&](const RootHint& h) { return h.written == root; });
    if (hint != kRootHints.end()) message += "; write " + Show(hint->meant);
    message += role == FieldRole::kRegistryKey ? ": the element never finds the key"
                                               : ": the element never finds anything";
    report.Error(pos, "unknown-registry-root", message);
  }
}

void CheckDeletedValue(const Reporter& report, SourcePos pos, std::u16string_view keyText,
                       std::u16string_view valueName) {
  const SplitKey key = Split(keyText);
  if (key.root != u"hkey_local_machine" || key.subkey != kWinlogonKey) return;
  const std::u16string name = ToLowerAscii(valueName);
  if (std::find(kWinlogonValues.begin(), kWinlogonValues.end(), name) != kWinlogonValues.end()) {
    report.Error(pos, "deletes-system-location",
                 "deletes the Winlogon value " + Show(valueName) +
                     "; Windows cannot log anyone on without it (use ASDPrec1 to remove one entry)");
  }
}

void CheckRepairedSetting(const Reporter& report, SourcePos pos, std::u16string_view keyText,
                          std::u16string_view valueName, const std::u16string* replacement) {
  const SplitKey key = MachineKey(keyText);
  const std::u16string name = ToLowerAscii(valueName);
  for (const WellKnownSetting& setting : kWellKnownSettings) {
    const SplitKey known = MachineKey(setting.key);
    if (known.root != key.root || known.subkey != key.subkey || ToLowerAscii(setting.valueName) != name) continue;
    if (replacement != nullptr && *replacement == setting.text) return;
    report.Error(pos, "repair-not-default",
                 "repairs " + Show(keyText) + (valueName.empty() ? "" : " value " + Show(valueName)) +
                     " with " + (replacement ? Show(*replacement) : std::string("a variable's text")) +
                     "; Windows holds " + Show(setting.text) + " there, and a repair must write exactly that");
    return;
  }
}

}  // namespace quenwick::dbtool::lint
