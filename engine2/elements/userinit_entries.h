// The "Userinit" value of the Winlogon key: the comma-separated list of
// programs Windows runs when a user logs on. Read, matched, and written back
// as REG_SZ.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenwick {

inline constexpr std::u16string_view kWinlogonSubkey =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr std::u16string_view kWinlogonKeyPath =
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr std::u16string_view kUserinitValueName = u"Userinit";
// Appended to the system folder when nothing else would be left to run.
inline constexpr std::u16string_view kSystemLogonProgram = u"\\userinit.exe,";

using UserinitEntries = std::vector<std::u16string>;

// Splits at every ",": each piece before a comma is an entry, even an empty
// one; the piece after the last comma only when it is not empty.
UserinitEntries SplitUserinitText(std::u16string_view text);

// Every non-empty entry followed by ",", in order. Empty when none is left.
std::u16string JoinUserinitEntries(const UserinitEntries& entries);

// True when the entry, with A-Z lowered, contains `pattern` as it stands. An
// empty pattern matches nothing (it would otherwise match every entry).
bool UserinitEntryMatches(std::u16string_view entry, std::u16string_view pattern);

// The entries of the machine's "Userinit" value; none when the value cannot
// be read with full access to its key or holds no data.
std::optional<UserinitEntries> ReadUserinitEntries();

// Writes the list back as a REG_SZ "Userinit" value, touching no other value
// of the key. A list with no non-empty entry would leave Windows nothing to
// run at logon, so the system's own logon program is written instead; when
// the system folder cannot be learnt, nothing is written. True when written.
[[nodiscard]] bool WriteUserinitEntries(const UserinitEntries& entries);

}  // namespace quenwick
