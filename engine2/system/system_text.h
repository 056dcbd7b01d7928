// Texts the system gives: shell folders, environment expansion, long path
// names, ANSI text, and the console. Each owns its call's buffer protocol
// (sizes asked for, grown, checked), so that callers get values or nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quenwick {

// The path of a shell folder (a CSIDL value); nothing when the shell has none.
std::optional<std::u16string> ShellFolderPath(int csidl);

// `text` with every %variable% Windows knows expanded; nothing on failure.
std::optional<std::u16string> ExpandEnvironment(std::u16string_view text);

// The long form of an existing path (8.3 names lengthened, letter case as
// stored), asked with the "\\?\" form wherever the path needs it; nothing
// when the path does not exist or is too long for any call. A drive root is
// its own long form and is never asked about: that would touch an empty
// floppy or card slot, or wait on a disconnected network drive.
std::optional<std::u16string> LongPathName(std::u16string_view path);

// Bytes in the system's ANSI code page as UTF-16, up to the first zero;
// nothing when they do not convert.
std::optional<std::u16string> AnsiToWide(std::span<const std::uint8_t> bytes);

// Writes a text to the console as it stands.
void WriteConsoleText(std::u16string_view text);

// Waits, so that ended processes can let go of their files.
void Pause(std::uint32_t milliseconds);

}  // namespace quenwick
