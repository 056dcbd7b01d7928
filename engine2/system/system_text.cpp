#include "system/system_text.h"

#include <algorithm>
#include <array>

#include "base/lexical_path.h"
#include "platform/platform.h"
#include "system/removal_calls.h"

namespace quenwick {
namespace {

// ExpandEnvironmentStringsW is given two characters more than it asked for.
constexpr win::DWORD kEnvironmentSlackChars = 2;

// The text a buffer holds: up to its first zero, never past its end.
std::u16string TextOfBuffer(const char16_t* buffer, std::size_t capacity) {
  const char16_t* end = std::find(buffer, buffer + capacity, u'\0');
  return std::u16string(buffer, end);
}

}  // namespace

std::optional<std::u16string> ShellFolderPath(int csidl) {
  // The call assumes a buffer of MAX_PATH characters.
  std::array<char16_t, win::MAX_PATH + 1> buffer{};
  if (!Sys().SHGetSpecialFolderPathW(win::HWND{}, buffer.data(), csidl, 0)) return std::nullopt;
  std::u16string path = TextOfBuffer(buffer.data(), buffer.size());
  if (path.empty()) return std::nullopt;
  return path;
}

std::optional<std::u16string> ExpandEnvironment(std::u16string_view text) {
  const std::u16string source(text);  // the call needs a terminated text
  Platform& os = Sys();
  const win::DWORD needed = os.ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::u16string buffer(static_cast<std::size_t>(needed) + kEnvironmentSlackChars, u'\0');
  const auto capacity = static_cast<win::DWORD>(buffer.size());
  const win::DWORD written = os.ExpandEnvironmentStringsW(source.c_str(), buffer.data(), capacity);
  // A result above the capacity means the variables grew between the two
  // calls and the buffer holds nothing usable.
  if (written == 0 || written > capacity) return std::nullopt;
  return TextOfBuffer(buffer.data(), buffer.size());
}

std::optional<std::u16string> LongPathName(std::u16string_view path) {
  if (path.size() == 3 && path[1] == u':' && path[2] == u'\\') return std::u16string(path);
  const std::u16string call = removal::CallPath(path);
  if (call.empty() || call.size() >= removal::kMaxLongPath) return std::nullopt;
  std::u16string buffer(removal::kMaxLongPath + 1, u'\0');
  const win::DWORD length =
      Sys().GetLongPathNameW(call.c_str(), buffer.data(), static_cast<win::DWORD>(buffer.size()));
  // A result as large as the buffer is the size it would need: nothing usable
  // was written.
  if (length == 0 || length >= buffer.size()) return std::nullopt;
  buffer.resize(length);
  return WithoutLongPrefix(buffer);
}

std::optional<std::u16string> AnsiToWide(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return std::nullopt;
  // One byte never gives more than one UTF-16 unit in any ANSI code page, so
  // a buffer of one character per byte always suffices.
  std::u16string wide(bytes.size(), u'\0');
  const int written = Sys().MultiByteToWideChar(win::CP_ACP, 0, reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<int>(bytes.size()), wide.data(),
                                                static_cast<int>(wide.size()));
  if (written <= 0) return std::nullopt;
  wide.resize(std::min(static_cast<std::size_t>(written), wide.size()));
  if (const std::size_t zero = wide.find(u'\0'); zero != std::u16string::npos) wide.resize(zero);
  return wide;
}

void WriteConsoleText(std::u16string_view text) { Sys().WriteConsoleWide(text); }

void Pause(std::uint32_t milliseconds) { Sys().Sleep(milliseconds); }

}  // namespace quenwick
