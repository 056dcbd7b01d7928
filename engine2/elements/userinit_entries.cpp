#include "elements/userinit_entries.h"

#include <cstdint>

#include "base/text.h"
#include "system/registry_key.h"
#include "system/system_text.h"

namespace quenwick {
namespace {

constexpr char16_t kSeparator = u',';

// "<system folder>\userinit.exe,", or nothing when the folder is unknown.
std::optional<std::u16string> SystemLogonProgram() {
  std::optional<std::u16string> program = ShellFolderPath(win::CSIDL_SYSTEM);
  if (program) *program += kSystemLogonProgram;
  return program;
}

}  // namespace

UserinitEntries SplitUserinitText(std::u16string_view text) {
  UserinitEntries entries;
  std::size_t start = 0;
  for (std::size_t comma = text.find(kSeparator); comma != std::u16string_view::npos;
       comma = text.find(kSeparator, start)) {
    entries.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  if (start < text.size()) entries.emplace_back(text.substr(start));
  return entries;
}

std::u16string JoinUserinitEntries(const UserinitEntries& entries) {
  std::u16string text;
  for (const std::u16string& entry : entries) {
    if (entry.empty()) continue;
    text += entry;
    text += kSeparator;
  }
  return text;
}

bool UserinitEntryMatches(std::u16string_view entry, std::u16string_view pattern) {
  if (pattern.empty()) return false;
  return ToLowerAscii(entry).find(pattern) != std::u16string::npos;
}

std::optional<UserinitEntries> ReadUserinitEntries() {
  RegistryValue value = ReadValue(win::HKEY_LOCAL_MACHINE, kWinlogonSubkey, kUserinitValueName);
  if (!value.IsValid() || value.size == 0) return std::nullopt;
  return SplitUserinitText(value.Text());
}

bool WriteUserinitEntries(const UserinitEntries& entries) {
  std::u16string text = JoinUserinitEntries(entries);
  if (text.empty()) {
    std::optional<std::u16string> fallback = SystemLogonProgram();
    if (!fallback) return false;  // an empty value would leave nothing to run at logon
    text = std::move(*fallback);
  }
  const std::vector<std::uint8_t> bytes = StringValueBytes(text);
  RegistryValue value(kUserinitValueName, win::REG_SZ, bytes.data(),
                      static_cast<win::DWORD>(bytes.size()));
  RegistryKey winlogon(kWinlogonKeyPath);
  if (!value.IsValid() || !winlogon.IsValid()) return false;
  // The key is not loaded: it holds this one value, so WriteBack sets
  // "Userinit" and leaves every other value of Winlogon as it is.
  winlogon.values.push_back(std::move(value));
  return winlogon.WriteBack() == win::ERROR_SUCCESS;
}

}  // namespace quenwick
