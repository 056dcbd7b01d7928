// Standard output of the real platform when it is redirected: the bytes a
// pipe or a file receives are what the C runtime's text mode would write
// ("\n" as "\r\n"), with wide text as UTF-8, in the order written.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "contract/contract_machine.h"
#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

namespace quenwick {
namespace {

// Points standard output at `output` while `write` runs, then restores it.
void WithStandardOutput(::HANDLE output, const std::function<void(Platform&)>& write) {
  const ::HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ASSERT_TRUE(::SetStdHandle(STD_OUTPUT_HANDLE, output));
  Win32Platform platform;
  write(platform);
  ::SetStdHandle(STD_OUTPUT_HANDLE, saved);
}

// What `write` sends to standard output when it is a pipe.
std::string CaptureThroughPipe(const std::function<void(Platform&)>& write) {
  constexpr ::DWORD kPipeBuffer = 1 << 16;  // more than any case writes
  ::HANDLE readEnd = nullptr;
  ::HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, nullptr, kPipeBuffer)) {
    ADD_FAILURE() << "CreatePipe: error " << ::GetLastError();
    return {};
  }
  WithStandardOutput(writeEnd, write);
  ::CloseHandle(writeEnd);
  std::string captured;
  char buffer[4096];
  ::DWORD got = 0;
  while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    captured.append(buffer, got);
  }
  ::CloseHandle(readEnd);
  return captured;
}

struct NarrowCase {
  const char* written;
  const char* expected;
};

TEST(Win32ConsoleContract, NarrowTextOnAPipeGetsCarriageReturnsBeforeNewlines) {
  const NarrowCase cases[] = {
      {"", ""},
      {"Scanning...", "Scanning..."},
      {"Scanning...\n", "Scanning...\r\n"},
      {"\n0 rogue applcation(s) found, 0 cleaned.\n",
       "\r\n0 rogue applcation(s) found, 0 cleaned.\r\n"},
      {"\n\n", "\r\n\r\n"},
      // Text mode adds a carriage return before every newline, even one
      // that already has one.
      {"x\r\n", "x\r\r\n"},
      {"\ttab\n", "\ttab\r\n"},
  };
  for (const NarrowCase& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_EQ(CaptureThroughPipe([&](Platform& p) { p.WriteConsole(c.written); }), c.expected);
  }
}

struct WideCase {
  std::u16string written;
  std::string expected;
};

TEST(Win32ConsoleContract, WideTextOnAPipeIsUtf8) {
  const WideCase cases[] = {
      {u"", ""},
      {u"Antivirus 2009 found...", "Antivirus 2009 found..."},
      {u" cleaned\n", " cleaned\r\n"},
      {u"caf\u00e9\n", "caf\xC3\xA9\r\n"},
      {u"\u20ac", "\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},  // a surrogate pair is one character
      {std::u16string(1, char16_t{0xD800}), "\xEF\xBF\xBD"},  // a lone surrogate: U+FFFD
  };
  for (const WideCase& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(CaptureThroughPipe([&](Platform& p) { p.WriteConsoleWide(c.written); }),
              c.expected);
  }
}

TEST(Win32ConsoleContract, NarrowAndWideTextKeepTheirOrder) {
  const std::string captured = CaptureThroughPipe([](Platform& p) {
    p.WriteConsole("Scanning...\n");
    p.WriteConsoleWide(u"Rogue One found...");
    p.WriteConsoleWide(u" cleaned\n");
    p.WriteConsole("\n1 rogue applcation(s) found, 1 cleaned.\n");
  });
  EXPECT_EQ(captured,
            "Scanning...\r\nRogue One found... cleaned\r\n\r\n"
            "1 rogue applcation(s) found, 1 cleaned.\r\n");
}

// A redirected file gets everything, also when the text is larger than one
// write.
TEST(Win32ConsoleContract, LargeTextReachesAFileWhole) {
  auto machine = contract::MakeContractMachine();
  const std::u16string path = machine->ScratchFolder() + u"\\output.txt";
  const ::HANDLE file =
      ::CreateFileW(win32::Wide(path.c_str()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << ::GetLastError();

  constexpr std::size_t kLines = 700000;  // 2.1 MB written, 2.8 MB on disk
  std::string text;
  for (std::size_t i = 0; i < kLines; ++i) text += "ab\n";
  WithStandardOutput(file, [&](Platform& p) { p.WriteConsole(text); });

  ::LARGE_INTEGER size{};
  ASSERT_TRUE(::GetFileSizeEx(file, &size));
  EXPECT_EQ(static_cast<std::size_t>(size.QuadPart), kLines * 4);
  ::SetFilePointer(file, static_cast<::LONG>(size.QuadPart - 8), nullptr, FILE_BEGIN);
  char tail[8] = {};
  ::DWORD got = 0;
  ASSERT_TRUE(::ReadFile(file, tail, sizeof tail, &got, nullptr));
  EXPECT_EQ(std::string(tail, got), "ab\r\nab\r\n");
  ::CloseHandle(file);
}

}  // namespace
}  // namespace quenwick
