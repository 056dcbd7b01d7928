// Standard output and the command interpreter.
//
// The driver's lines and the Definition names share one stream in the order
// they are written, and "pause" or "cls" must come after everything written
// before them; so nothing is buffered here and each write goes straight to
// the standard output handle.
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

namespace quenwick {

namespace {

// Large writes go out in pieces: older consoles refuse a single WriteConsoleW
// of more than about 64 KB.
constexpr std::size_t kMaxConsoleChunk = 8192;     // UTF-16 units
constexpr std::size_t kMaxFileChunk = 1u << 20;    // bytes

::HANDLE StandardOutput() {
  const ::HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  return output == INVALID_HANDLE_VALUE ? nullptr : output;
}

bool IsConsole(::HANDLE output) {
  ::DWORD mode = 0;
  return ::GetConsoleMode(output, &mode) != 0;
}

// What the C runtime's text mode writes for "\n".
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

// Unpaired surrogates become U+FFFD, as WideCharToMultiByte writes them.
std::string WideToUtf8(std::u16string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string utf8(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

void WriteToConsole(::HANDLE output, std::wstring_view text) {
  while (!text.empty()) {
    const std::size_t chunk = text.size() < kMaxConsoleChunk ? text.size() : kMaxConsoleChunk;
    ::DWORD written = 0;
    if (!::WriteConsoleW(output, text.data(), static_cast<::DWORD>(chunk), &written, nullptr) ||
        written == 0) {
      return;  // the console is gone; there is nobody left to tell
    }
    text.remove_prefix(written);
  }
}

void WriteToFile(::HANDLE output, std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t chunk = bytes.size() < kMaxFileChunk ? bytes.size() : kMaxFileChunk;
    ::DWORD written = 0;
    if (!::WriteFile(output, bytes.data(), static_cast<::DWORD>(chunk), &written, nullptr) ||
        written == 0) {
      return;  // a closed pipe or a full disk: the output is lost either way
    }
    bytes.remove_prefix(written);
  }
}

}  // namespace

void Win32Platform::WriteConsole(std::string_view text) {
  const ::HANDLE output = StandardOutput();
  if (output == nullptr || text.empty()) return;
  if (IsConsole(output)) {
    WriteToConsole(output, AnsiToWide(text));
  } else {
    WriteToFile(output, WithCrLf(text));
  }
}

void Win32Platform::WriteConsoleWide(std::u16string_view text) {
  const ::HANDLE output = StandardOutput();
  if (output == nullptr || text.empty()) return;
  if (IsConsole(output)) {
    WriteToConsole(output, std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()),
                                             text.size()));
  } else {
    WriteToFile(output, WithCrLf(WideToUtf8(text)));
  }
}

int Win32Platform::RunCommandInterpreter(const char* command) { return std::system(command); }

}  // namespace quenwick
