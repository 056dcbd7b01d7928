// The calls behind path texts beyond the general contracts: the shell folders
// the macros name, variables in any letter case, the attributes of hidden and
// read-only files, and "\.." steps. Run on the simulated
// machine and, cross-built, on Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "contract/contract_machine.h"

namespace quenwick::contract {
namespace {

std::string U8(std::u16string_view text) { return ToUtf8(text); }

class PathLookupContract : public ::testing::Test {
 protected:
  Platform& os() { return machine->platform(); }

  // Expands `source` as path expansion does: the length first, then the text.
  std::u16string Expand(const std::u16string& source) {
    const win::DWORD needed = os().ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
    if (needed == 0) return u"<failed>";
    std::vector<char16_t> buffer(needed + 2, u'#');
    const win::DWORD written = os().ExpandEnvironmentStringsW(source.c_str(), buffer.data(), needed + 2);
    EXPECT_EQ(written, needed);
    return std::u16string(buffer.data());
  }

  std::unique_ptr<ContractMachine> machine = MakeContractMachine();
};

TEST_F(PathLookupContract, SystemRootNamesAnExistingFolderInAnyCase) {
  const std::u16string root = Expand(u"%SYSTEMROOT%");
  EXPECT_EQ(U8(Expand(u"%systemroot%")), U8(root));
  const win::DWORD attributes = os().GetFileAttributesW(root.c_str());
  ASSERT_NE(attributes, win::INVALID_FILE_ATTRIBUTES) << U8(root);
  EXPECT_NE(attributes & win::FILE_ATTRIBUTE_DIRECTORY, 0u);
}

// Folders that a fresh Windows has: the shell gives an absolute path without
// creating anything, and the folder is there.
TEST_F(PathLookupContract, ShellFoldersGiveExistingAbsoluteFolders) {
  for (int csidl : {win::CSIDL_PROGRAM_FILES, win::CSIDL_WINDOWS, win::CSIDL_SYSTEM, win::CSIDL_APPDATA,
                    win::CSIDL_LOCAL_APPDATA, win::CSIDL_PROFILE, win::CSIDL_COMMON_APPDATA}) {
    SCOPED_TRACE(csidl);
    std::vector<char16_t> buffer(win::MAX_PATH, u'#');
    ASSERT_NE(os().SHGetSpecialFolderPathW(win::HWND{}, buffer.data(), csidl, 0), 0);
    const std::u16string path(buffer.data());
    ASSERT_GE(path.size(), 3u);
    EXPECT_EQ(path.substr(1, 2), u":\\") << U8(path);
    const win::DWORD attributes = os().GetFileAttributesW(path.c_str());
    ASSERT_NE(attributes, win::INVALID_FILE_ATTRIBUTES) << U8(path);
    EXPECT_NE(attributes & win::FILE_ATTRIBUTE_DIRECTORY, 0u) << U8(path);
  }
}

// Hidden, system and read-only files keep their attributes and are files.
TEST_F(PathLookupContract, HiddenSystemAndReadOnlyFilesAreFiles) {
  const std::u16string folder = machine->ScratchFolder();
  machine->MakeFile(folder + u"\\hidden.dll", win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM);
  machine->MakeFile(folder + u"\\readonly.ini", win::FILE_ATTRIBUTE_READONLY);
  const win::DWORD hidden = os().GetFileAttributesW((folder + u"\\hidden.dll").c_str());
  ASSERT_NE(hidden, win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(hidden & (win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM | win::FILE_ATTRIBUTE_DIRECTORY),
            win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM);
  const win::DWORD readOnly = os().GetFileAttributesW((folder + u"\\readonly.ini").c_str());
  ASSERT_NE(readOnly, win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(readOnly & (win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_DIRECTORY), win::FILE_ATTRIBUTE_READONLY);
}

// "\.." steps are taken by the path's text, before anything is looked up: a
// program path followed by "\..\.." names the folder above the program's.
TEST_F(PathLookupContract, DotDotStepsAreResolvedInThePathText) {
  const std::u16string folder = machine->ScratchFolder();
  machine->MakeFolder(folder + u"\\bin");
  machine->MakeFile(folder + u"\\bin\\prog.exe");
  const win::DWORD up = os().GetFileAttributesW((folder + u"\\bin\\prog.exe\\..\\..").c_str());
  ASSERT_NE(up, win::INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(up & win::FILE_ATTRIBUTE_DIRECTORY, 0u);
  // Even through a file that does not exist.
  EXPECT_NE(os().GetFileAttributesW((folder + u"\\bin\\gone.exe\\..").c_str()), win::INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace quenwick::contract
