// Expansion of the leading macro of a path text and the normalisers that
// follow it.
#include "engine/path_expansion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "platform/sim/sim_machine.h"

namespace quenwick {
namespace {

using sim::SimMachine;
using sim::ScopedPlatform;

std::string U8(std::u16string_view text) { return ToUtf8(text); }

class PathExpansionTest : public ::testing::Test {
 protected:
  std::unique_ptr<SimMachine> machine = SimMachine::Standard();
  ScopedPlatform scope{*machine};
};

// Every macro of the table reaches the shell with its own folder constant.
// Each folder is given a path of its own so that a wrong constant shows.
TEST_F(PathExpansionTest, EveryFolderMacroExpandsToItsShellFolder) {
  struct Row {
    std::u16string macro;
    int csidl;
  };
  const std::vector<Row> rows = {
      {u"%CSIDL_DESKTOP%", 0},           {u"%CSIDL_PROGRAMS%", 2},
      {u"%CSIDL_PERSONAL%", 5},          {u"%CSIDL_STARTUP%", 7},
      {u"%CSIDL_STARTMENU%", 11},        {u"%CSIDL_MYDOCUMENTS%", 5},
      {u"%CSIDL_DESKTOPDIRECTORY%", 16}, {u"%CSIDL_COMMON_STARTMENU%", 22},
      {u"%CSIDL_COMMON_PROGRAMS%", 23},  {u"%CSIDL_COMMON_STARTUP%", 24},
      {u"%CSIDL_COMMON_DESKTOPDIRECTORY%", 25}, {u"%CSIDL_APPDATA%", 26},
      {u"%CSIDL_LOCAL_APPDATA%", 28},    {u"%CSIDL_COMMON_APPDATA%", 35},
      {u"%CSIDL_WINDOWS%", 36},          {u"%CSIDL_SYSTEM%", 37},
      {u"%CSIDL_PROGRAM_FILES%", 38},    {u"%CSIDL_PROFILE%", 40},
      {u"%CSIDL_PROGRAM_FILESX86%", 42}, {u"%CSIDL_PROGRAM_FILES_COMMON%", 43},
      {u"%CSIDL_COMMON_DOCUMENTS%", 46},
  };
  // CSIDL_MYDOCUMENTS (12) is deliberately set apart: the macro of that name
  // must use CSIDL_PERSONAL.
  for (int csidl : {0, 2, 5, 7, 11, 12, 16, 22, 23, 24, 25, 26, 28, 35, 36, 37, 38, 40, 42, 43, 46}) {
    machine->SetShellFolder(csidl, u"C:\\Folder" + FromUtf8(std::to_string(csidl)));
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.macro));
    const std::u16string want = u"C:\\Folder" + FromUtf8(std::to_string(row.csidl)) + u"\\Rogue\\a.exe";
    EXPECT_EQ(U8(ResolvePath(row.macro + u"\\Rogue\\a.exe")), U8(want));
  }
}

TEST_F(PathExpansionTest, ProgramFilesMacroGivesTheMachinesFolder) {
  machine->SetShellFolder(win::CSIDL_PROGRAM_FILES, u"D:\\Programme");
  EXPECT_EQ(U8(ResolvePath(u"%CSIDL_PROGRAM_FILES%\\Rogue AV\\rav.exe")),
            "D:\\Programme\\Rogue AV\\rav.exe");
}

// The shell is asked once, for a MAX_PATH buffer, without creating the folder.
TEST_F(PathExpansionTest, FolderMacroMakesOneShellCallWithoutCreation) {
  machine->ResetCallLog();
  ResolvePath(u"%CSIDL_APPDATA%\\x");
  EXPECT_EQ(machine->CallCount("SHGetSpecialFolderPathW"), 1u);
  EXPECT_EQ(machine->CallCount("ExpandEnvironmentStringsW"), 0u);
  EXPECT_EQ(machine->TotalCalls(), 1u);
}

TEST_F(PathExpansionTest, MacroLetterCaseDoesNotMatter) {
  machine->SetEnvironment(u"USERPROFILE", u"C:\\Users\\User");
  machine->SetEnvironment(u"SystemRoot", u"C:\\Windows");
  machine->SetShellFolder(win::CSIDL_APPDATA, u"C:\\Users\\User\\AppData\\Roaming");
  struct Row {
    std::u16string text, want;
  };
  const std::vector<Row> rows = {
      {u"%userprofile%\\x", u"C:\\Users\\User\\x"},
      {u"%USERPROFILE%\\x", u"C:\\Users\\User\\x"},
      {u"%UserProfile%\\x", u"C:\\Users\\User\\x"},
      {u"%SystemRoot%\\x", u"C:\\Windows\\x"},
      {u"%SYSTEMROOT%\\x", u"C:\\Windows\\x"},
      {u"%csidl_appdata%\\x", u"C:\\Users\\User\\AppData\\Roaming\\x"},
      {u"%Csidl_AppData%\\x", u"C:\\Users\\User\\AppData\\Roaming\\x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.text));
    EXPECT_EQ(U8(ResolvePath(row.text)), U8(row.want));
  }
}

TEST_F(PathExpansionTest, MyDocumentsAndPersonalAreTheSameFolder) {
  EXPECT_EQ(U8(ExpandLeadingMacro(u"%CSIDL_MYDOCUMENTS%\\a")),
            U8(ExpandLeadingMacro(u"%CSIDL_PERSONAL%\\a")));
  EXPECT_NE(U8(ExpandLeadingMacro(u"%CSIDL_PERSONAL%\\a")), "%CSIDL_PERSONAL%\\a");
}

// Macros that name nothing stay in the path, upper-cased, and the rest of the
// text keeps its case.
TEST_F(PathExpansionTest, UnknownMacrosStayUpperCased) {
  struct Row {
    std::u16string text, want;
  };
  const std::vector<Row> rows = {
      {u"%CSIDL_QUICKLAUNCH%\\AntivirusPro_2010.lnk", u"%CSIDL_QUICKLAUNCH%\\AntivirusPro_2010.lnk"},
      {u"%csidl_quicklaunch%\\Rogue.lnk", u"%CSIDL_QUICKLAUNCH%\\Rogue.lnk"},
      {u"%SystemRooot%\\System32\\winscenter.exe", u"%SYSTEMROOOT%\\System32\\winscenter.exe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.text));
    EXPECT_EQ(U8(ResolvePath(row.text)), U8(row.want));
  }
}

TEST_F(PathExpansionTest, UnknownFolderMacroDoesNotAskTheShell) {
  machine->ResetCallLog();
  ExpandLeadingMacro(u"%CSIDL_QUICKLAUNCH%\\x.lnk");
  EXPECT_EQ(machine->TotalCalls(), 0u);
}

// A shell folder the shell cannot give keeps the macro: the path must not
// turn into one relative to the current folder.
TEST_F(PathExpansionTest, FailedShellFolderKeepsTheMacro) {
  machine->FailShellFolder(win::CSIDL_APPDATA);
  EXPECT_EQ(U8(ResolvePath(u"%csidl_appdata%\\Rogue\\r.exe")), "%CSIDL_APPDATA%\\Rogue\\r.exe");
}

TEST_F(PathExpansionTest, EnvironmentExpansionAsksForTheLengthFirst) {
  machine->SetEnvironment(u"APPDATA", u"C:\\Users\\User\\AppData\\Roaming");
  machine->ResetCallLog();
  EXPECT_EQ(U8(ExpandLeadingMacro(u"%appdata%\\x")), "C:\\Users\\User\\AppData\\Roaming\\x");
  EXPECT_EQ(machine->CallCount("ExpandEnvironmentStringsW"), 2u);
  EXPECT_EQ(machine->TotalCalls(), 2u);
}

TEST_F(PathExpansionTest, OnlyAMacroAtTheFirstPositionIsExpanded) {
  machine->SetEnvironment(u"SystemRoot", u"C:\\Windows");
  machine->SetEnvironment(u"TEMP", u"C:\\Temp");
  struct Row {
    std::u16string text, want;
  };
  const std::vector<Row> rows = {
      // Two macros: the second keeps its percent signs and its case.
      {u"%SystemRoot%\\%Temp%\\x", u"C:\\Windows\\%Temp%\\x"},
      // Not at the first position.
      {u"C:\\%SystemRoot%\\x", u"C:\\%SystemRoot%\\x"},
      {u" %SystemRoot%\\x", u" %SystemRoot%\\x"},
      // No closing percent sign.
      {u"%SystemRoot\\x", u"%SystemRoot\\x"},
      {u"%", u"%"},
      // A quoted macro is not expanded; its quotes still go.
      {u"\"%SystemRoot%\\x\"", u"%SystemRoot%\\x"},
      {u"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.text));
    EXPECT_EQ(U8(ResolvePath(row.text)), U8(row.want));
  }
}

TEST_F(PathExpansionTest, WildcardsAnywhereEmptyThePath) {
  machine->SetEnvironment(u"ODDVAR", u"C:\\a*b");
  for (std::u16string text : {u"C:\\Rogue\\*.exe", u"C:\\Rogue\\a?.dll", u"*", u"%CSIDL_APPDATA%\\x?",
                              u"%ODDVAR%\\plain.exe", u"\"C:\\x*\""}) {
    SCOPED_TRACE(U8(text));
    EXPECT_EQ(U8(ResolvePath(text)), "");
  }
}

TEST_F(PathExpansionTest, QuotesAndSeparatorsAreNormalised) {
  machine->SetShellFolder(win::CSIDL_WINDOWS, u"C:\\");  // a drive root ends in a backslash
  struct Row {
    std::u16string text, want;
  };
  const std::vector<Row> rows = {
      {u"\"C:\\Program Files\\Rogue\\r.exe\"", u"C:\\Program Files\\Rogue\\r.exe"},
      {u"\"", u"\""},                                  // one quote character
      {u"\"\"", u""},                                  // an empty quoted text
      {u"\"C:\\Rogue\\r.exe", u"\"C:\\Rogue\\r.exe"},  // opening quote only
      {u"C:\\Rogue\\r.exe\"", u"C:\\Rogue\\r.exe\""},  // closing quote only
      {u"\"\"C:\\x\"\"", u"\"C:\\x\""},                // one pair only
      {u"C:/Program Files/Rogue/r.exe", u"C:\\Program Files\\Rogue\\r.exe"},
      {u"C:\\\\Rogue\\\\\\r.exe", u"C:\\Rogue\\r.exe"},
      {u"C://Rogue/\\r.exe", u"C:\\Rogue\\r.exe"},
      {u"\\\\server\\share\\r.exe", u"\\server\\share\\r.exe"},
      {u"%CSIDL_WINDOWS%\\r.exe", u"C:\\r.exe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.text));
    EXPECT_EQ(U8(ResolvePath(row.text)), U8(row.want));
  }
}

// The normalisers on their own: none of them ever lengthens the text.
TEST(PathNormalisers, WorkInPlaceWithoutLengthening) {
  struct Row {
    void (*operation)(std::u16string&);
    std::u16string text, want;
  };
  const std::vector<Row> rows = {
      {SlashesToBackslashes, u"a/b//c", u"a\\b\\\\c"},
      {SlashesToBackslashes, u"", u""},
      {CollapseBackslashes, u"\\\\\\a\\\\b\\", u"\\a\\b\\"},
      {CollapseBackslashes, u"a\\b", u"a\\b"},
      {CollapseBackslashes, u"\\\\", u"\\"},
      {StripEnclosingQuotes, u"\"a b\"", u"a b"},
      {StripEnclosingQuotes, u"a\"b\"", u"a\"b\""},
      {StripEnclosingQuotes, u"\"", u"\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.text));
    std::u16string text = row.text;
    row.operation(text);
    EXPECT_EQ(U8(text), U8(row.want));
    EXPECT_LE(text.size(), row.text.size());
  }
}

TEST(PathNormalisers, AppendTextJoinsWithoutSeparator) {
  std::u16string text = u"C:\\Rogue\\r.exe";
  AppendText(text, u"\\..\\..");
  EXPECT_EQ(U8(text), "C:\\Rogue\\r.exe\\..\\..");
  AppendText(text, u"");
  EXPECT_EQ(U8(text), "C:\\Rogue\\r.exe\\..\\..");
}

}  // namespace
}  // namespace quenwick
