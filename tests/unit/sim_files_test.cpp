// The simulated file system: limits, links, injected failures, searches,
// long names and deletion at restart.
#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"

namespace quenwick::sim {
namespace {

using win::DWORD;

class SimFiles : public ::testing::Test {
 protected:
  SimFiles() { m.AddDrive(u'C'); }
  DWORD Attributes(const std::u16string& path) { return m.GetFileAttributesW(path.c_str()); }
  bool Delete(const std::u16string& path) { return m.DeleteFileW(path.c_str()) != 0; }
  bool RemoveDir(const std::u16string& path) { return m.RemoveDirectoryW(path.c_str()) != 0; }
  std::vector<std::u16string> Search(const std::u16string& pattern) {
    std::vector<std::u16string> names;
    win::WIN32_FIND_DATAW data{};
    win::HFIND find = m.FindFirstFileW(pattern.c_str(), &data);
    if (find == win::INVALID_FIND_HANDLE) return names;
    do {
      names.emplace_back(data.cFileName);
    } while (m.FindNextFileW(find, &data));
    m.FindClose(find);
    return names;
  }

  SimMachine m;
};

TEST_F(SimFiles, PathsOfMaxPathCharactersNeedTheLongPrefix) {
  // Windows refuses paths of 260 characters or more without "\\?\" (Wine
  // does not), so the contract suite cannot check this one.
  const std::u16string folder = u"C:\\" + std::u16string(200, u'd');
  const std::u16string file = folder + u"\\" + std::u16string(56, u'f');  // 260 characters
  m.AddFile(file);
  ASSERT_EQ(file.size(), 260u);
  EXPECT_EQ(Attributes(file), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(m.GetLastError(), win::ERROR_FILENAME_EXCED_RANGE);
  EXPECT_FALSE(Delete(file));
  EXPECT_EQ(m.GetLastError(), win::ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(Attributes(u"\\\\?\\" + file), win::FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(Delete(u"\\\\?\\" + file));
  EXPECT_FALSE(m.PathExists(file));
  EXPECT_EQ(Attributes(file.substr(0, 259)), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(m.GetLastError(), win::ERROR_FILE_NOT_FOUND);
}

TEST_F(SimFiles, NormalisationBeforeLookup) {
  m.AddFile(u"C:\\Dir\\name.txt");
  struct Case {
    const char16_t* path;
    DWORD want;
  };
  const Case cases[] = {
      {u"C:\\Dir\\name.txt", win::FILE_ATTRIBUTE_ARCHIVE},
      {u"c:/dir//NAME.TXT", win::FILE_ATTRIBUTE_ARCHIVE},
      {u"C:\\Dir\\.\\x\\..\\name.txt", win::FILE_ATTRIBUTE_ARCHIVE},
      {u"C:\\..\\..\\Dir\\name.txt", win::FILE_ATTRIBUTE_ARCHIVE},
      {u"C:\\Dir\\name.txt.", win::FILE_ATTRIBUTE_ARCHIVE},  // trailing dots go
      {u"C:\\Dir\\name.txt  ", win::FILE_ATTRIBUTE_ARCHIVE},  // and trailing blanks
      {u"\\Dir\\name.txt", win::FILE_ATTRIBUTE_ARCHIVE},  // the current drive
      {u"Dir\\name.txt", win::FILE_ATTRIBUTE_ARCHIVE},    // relative to the current folder
      {u"C:\\a\\b\\..\\..", win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM |
                                win::FILE_ATTRIBUTE_DIRECTORY},
      {u"C:\\Dir\\", win::FILE_ATTRIBUTE_DIRECTORY},
      {u"C:\\Dir\\name.txt\\", win::INVALID_FILE_ATTRIBUTES},
      {u"C:\\Dir\\na*e.txt", win::INVALID_FILE_ATTRIBUTES},
      {u"\\\\server\\share\\x", win::INVALID_FILE_ATTRIBUTES},
      {u"D:\\x", win::INVALID_FILE_ATTRIBUTES},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Attributes(c.path), c.want) << std::string(c.path, c.path + 3);
  }
  EXPECT_EQ(Attributes(u"C:\\Dir\\na*e.txt"), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(m.GetLastError(), win::ERROR_INVALID_NAME);
  EXPECT_EQ(Attributes(u"D:\\x"), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(m.GetLastError(), win::ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Attributes(u"C:\\Dir\\name.txt\\more"), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(m.GetLastError(), win::ERROR_PATH_NOT_FOUND);
}

// C:\Data\inner.txt
// C:\Data\Sub\deep.txt
// C:\Users\Junction   -> C:\Data      (junction)
// C:\Users\DirLink    -> C:\Data      (directory symbolic link)
// C:\Users\file.lnk   -> C:\Data\inner.txt  (file symbolic link)
class SimFileLinks : public SimFiles {
 protected:
  SimFileLinks() {
    m.AddFile(u"C:\\Data\\inner.txt");
    m.AddFile(u"C:\\Data\\Sub\\deep.txt");
    m.AddLink(u"C:\\Users\\Junction", u"C:\\Data", LinkKind::Junction);
    m.AddLink(u"C:\\Users\\DirLink", u"C:\\Data", LinkKind::DirectorySymlink);
    m.AddLink(u"C:\\Users\\file.lnk", u"C:\\Data\\inner.txt", LinkKind::FileSymlink);
  }
};

TEST_F(SimFileLinks, LinksShowAsReparsePointsAndPathsGoThroughThem) {
  EXPECT_EQ(Attributes(u"C:\\Users\\Junction"),
            win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(Attributes(u"C:\\Users\\file.lnk"),
            win::FILE_ATTRIBUTE_ARCHIVE | win::FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(Attributes(u"C:\\Users\\Junction\\Sub\\deep.txt"), win::FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(Search(u"C:\\Users\\DirLink\\*"),
            (std::vector<std::u16string>{u".", u"..", u"inner.txt", u"Sub"}));

  win::WIN32_FIND_DATAW data{};
  win::HFIND find = m.FindFirstFileW(u"C:\\Users\\*", &data);
  ASSERT_NE(find, win::INVALID_FIND_HANDLE);
  std::vector<std::pair<std::u16string, DWORD>> tags;
  do {
    tags.emplace_back(data.cFileName, data.dwReserved0);
  } while (m.FindNextFileW(find, &data));
  m.FindClose(find);
  EXPECT_EQ(tags, (std::vector<std::pair<std::u16string, DWORD>>{
                      {u".", 0},
                      {u"..", 0},
                      {u"DirLink", win::IO_REPARSE_TAG_SYMLINK},
                      {u"file.lnk", win::IO_REPARSE_TAG_SYMLINK},
                      {u"Junction", win::IO_REPARSE_TAG_MOUNT_POINT}}));
}

TEST_F(SimFileLinks, RemovingALinkLeavesItsTarget) {
  EXPECT_FALSE(Delete(u"C:\\Users\\Junction"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_TRUE(RemoveDir(u"C:\\Users\\Junction"));  // target not empty: no matter
  EXPECT_TRUE(RemoveDir(u"C:\\Users\\DirLink\\"));
  EXPECT_FALSE(RemoveDir(u"C:\\Users\\file.lnk"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_DIRECTORY);
  EXPECT_TRUE(Delete(u"C:\\Users\\file.lnk"));
  EXPECT_TRUE(m.PathExists(u"C:\\Data\\inner.txt"));
  EXPECT_TRUE(m.PathExists(u"C:\\Data\\Sub\\deep.txt"));
  EXPECT_FALSE(m.PathExists(u"C:\\Users\\Junction"));
  EXPECT_FALSE(m.PathExists(u"C:\\Users\\file.lnk"));
}

TEST_F(SimFileLinks, DanglingLinksAndLoops) {
  m.AddLink(u"C:\\Loop", u"C:\\Loop", LinkKind::Junction);
  EXPECT_EQ(Attributes(u"C:\\Loop"), win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(Attributes(u"C:\\Loop\\x"), win::INVALID_FILE_ATTRIBUTES);
  m.AddLink(u"C:\\Dangling", u"C:\\Nowhere", LinkKind::Junction);
  EXPECT_EQ(Attributes(u"C:\\Dangling\\x"), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(m.GetLastError(), win::ERROR_PATH_NOT_FOUND);
  m.AddFile(u"C:\\Dangling\\x.txt");  // nothing can be set up behind it
  EXPECT_EQ(Search(u"C:\\Dang*"), std::vector<std::u16string>{u"Dangling"});
  EXPECT_TRUE(RemoveDir(u"C:\\Dangling"));
}

TEST_F(SimFiles, InjectedRefusals) {
  m.AddFile(u"C:\\r\\denied.exe");
  m.AddFile(u"C:\\r\\failing.exe");
  m.AddFolder(u"C:\\r\\failing");
  m.AddFile(u"C:\\r\\stuck.exe");
  m.DenyDelete(u"C:\\r\\denied.exe");
  m.FailDelete(u"c:\\R\\FAILING.exe", 1117);
  m.FailDelete(u"C:\\r\\failing", 1117);
  m.FailMove(u"C:\\r\\stuck.exe", 1117);

  EXPECT_FALSE(Delete(u"C:\\r\\denied.exe"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(m.SetFileAttributesW(u"C:\\r\\denied.exe", win::FILE_ATTRIBUTE_NORMAL), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Delete(u"C:\\r\\failing.exe"));
  EXPECT_EQ(m.GetLastError(), 1117u);
  EXPECT_FALSE(RemoveDir(u"C:\\r\\failing"));
  EXPECT_EQ(m.GetLastError(), 1117u);
  EXPECT_EQ(m.MoveFileExW(u"C:\\r\\stuck.exe", nullptr, win::MOVEFILE_DELAY_UNTIL_REBOOT), 0);
  EXPECT_EQ(m.GetLastError(), 1117u);
  EXPECT_EQ(m.MoveFileExW(u"C:\\r\\denied.exe", nullptr, win::MOVEFILE_DELAY_UNTIL_REBOOT), 1);
  EXPECT_EQ(m.PendingDeletions(), std::vector<std::u16string>{u"C:\\r\\denied.exe"});
  EXPECT_TRUE(m.PathExists(u"C:\\r\\denied.exe"));
}

TEST_F(SimFiles, LockedReadOnlyAndRunningFiles) {
  m.AddFile(u"C:\\r\\locked.exe", win::FILE_ATTRIBUTE_READONLY);
  m.LockFile(u"C:\\r\\locked.exe");
  // The open fails on the lock before the read-only bit matters.
  EXPECT_FALSE(Delete(u"C:\\r\\locked.exe"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_SHARING_VIOLATION);
  m.UnlockFile(u"C:\\r\\locked.exe");
  EXPECT_FALSE(Delete(u"C:\\r\\locked.exe"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);

  m.AddFile(u"C:\\r\\running.exe");
  const DWORD pid = m.AddProcess(u"C:\\r\\running.exe");
  EXPECT_FALSE(Delete(u"C:\\R\\Running.exe"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  const win::HANDLE process = m.OpenProcess(win::PROCESS_TERMINATE, 0, pid);
  ASSERT_EQ(m.TerminateProcess(process, 0), 1);
  m.CloseHandle(process);
  EXPECT_TRUE(Delete(u"C:\\r\\running.exe"));
}

TEST_F(SimFiles, ReadOnlyFolderCannotBeRemoved) {
  m.AddFolder(u"C:\\ro", win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(RemoveDir(u"C:\\ro"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RemoveDir(u"C:\\"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
}

TEST_F(SimFiles, SetAttributesKeepsTheKindOfEntry) {
  m.AddFolder(u"C:\\f");
  EXPECT_EQ(m.SetFileAttributesW(u"C:\\f", win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_READONLY), 1);
  EXPECT_EQ(m.Attributes(u"C:\\f"), win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_HIDDEN |
                                         win::FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(m.SetFileAttributesW(u"C:\\f", win::FILE_ATTRIBUTE_NORMAL), 1);
  EXPECT_EQ(m.Attributes(u"C:\\f"), win::FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(SimFiles, SearchesAreSortedWithoutRegardToCaseAndMatchLikeWindows) {
  for (const char16_t* name : {u"b.TXT", u"A.txt", u"c", u"_under.txt", u"a.txt.bak"}) {
    m.AddFile(std::u16string(u"C:\\s\\") + name);
  }
  EXPECT_EQ(Search(u"C:\\s\\*.*"), (std::vector<std::u16string>{u".", u"..", u"A.txt",
                                                                  u"a.txt.bak", u"b.TXT", u"c",
                                                                  u"_under.txt"}));
  EXPECT_EQ(Search(u"C:\\s\\*.txt"),
            (std::vector<std::u16string>{u"A.txt", u"b.TXT", u"_under.txt"}));
  EXPECT_EQ(Search(u"C:\\s\\?.txt"), (std::vector<std::u16string>{u"A.txt", u"b.TXT"}));
  EXPECT_EQ(Search(u"C:\\s\\c.*"), std::vector<std::u16string>{u"c"});
  EXPECT_EQ(Search(u"C:\\s\\A.TXT"), std::vector<std::u16string>{u"A.txt"});
  // The root has no "." or "..".
  EXPECT_EQ(Search(u"C:\\*"), std::vector<std::u16string>{u"s"});
  win::WIN32_FIND_DATAW data{};
  EXPECT_EQ(m.FindFirstFileW(u"C:\\s\\", &data), win::INVALID_FIND_HANDLE);
  EXPECT_EQ(m.GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(m.FindFirstFileW(u"C:\\s\\c\\*", &data), win::INVALID_FIND_HANDLE);
  EXPECT_EQ(m.GetLastError(), win::ERROR_DIRECTORY);
}

TEST_F(SimFiles, SearchSkipsEntriesDeletedWhileItIsOpen) {
  for (const char16_t* name : {u"1.txt", u"2.txt", u"3.txt", u"4.txt"}) {
    m.AddFile(std::u16string(u"C:\\s\\") + name);
  }
  win::WIN32_FIND_DATAW data{};
  win::HFIND find = m.FindFirstFileW(u"C:\\s\\*.txt", &data);
  ASSERT_NE(find, win::INVALID_FIND_HANDLE);
  EXPECT_EQ(std::u16string(data.cFileName), u"1.txt");
  EXPECT_TRUE(Delete(u"C:\\s\\1.txt"));
  EXPECT_TRUE(Delete(u"C:\\s\\3.txt"));
  m.AddFile(u"C:\\s\\25.txt");  // added after the search began: not seen
  std::vector<std::u16string> rest;
  while (m.FindNextFileW(find, &data)) rest.emplace_back(data.cFileName);
  EXPECT_EQ(m.GetLastError(), win::ERROR_NO_MORE_FILES);
  EXPECT_EQ(rest, (std::vector<std::u16string>{u"2.txt", u"4.txt"}));
  EXPECT_EQ(m.OpenHandleCount(), 1u);
  EXPECT_EQ(m.FindClose(find), 1);
  EXPECT_EQ(m.FindClose(find), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_INVALID_HANDLE);
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(SimFiles, LongNamesExpandShortOnes) {
  m.AddFile(u"C:\\Program Files\\Rogue Antivirus\\rogue.exe");
  m.SetShortName(u"C:\\Program Files", u"C:\\PROGRA~1");
  m.SetShortName(u"C:\\Program Files\\Rogue Antivirus", u"C:\\PROGRA~1\\ROGUEA~1");
  char16_t buffer[128];
  const DWORD length = m.GetLongPathNameW(u"c:\\progra~1\\ROGUEA~1\\ROGUE.EXE", buffer, 128);
  EXPECT_EQ(std::u16string(buffer, length), u"c:\\Program Files\\Rogue Antivirus\\rogue.exe");
  EXPECT_EQ(m.Attributes(u"C:\\PROGRA~1\\ROGUEA~1\\rogue.exe"), win::FILE_ATTRIBUTE_ARCHIVE);
  win::WIN32_FIND_DATAW data{};
  win::HFIND find = m.FindFirstFileW(u"C:\\Program Files\\*Antivirus", &data);
  ASSERT_NE(find, win::INVALID_FIND_HANDLE);
  EXPECT_EQ(std::u16string(data.cAlternateFileName), u"ROGUEA~1");
  m.FindClose(find);
  EXPECT_EQ(m.GetLongPathNameW(u"C:\\PROGRA~2\\x", buffer, 128), 0u);
  EXPECT_EQ(m.GetLastError(), win::ERROR_FILE_NOT_FOUND);
}

TEST_F(SimFiles, RestartCarriesOutRegisteredDeletionsInOrder) {
  m.AddFile(u"C:\\rogue\\locked.dll");
  m.AddFile(u"C:\\rogue\\readonly.exe", win::FILE_ATTRIBUTE_READONLY);
  m.AddFile(u"C:\\keep\\other.txt");
  m.AddFolder(u"C:\\emptied");
  m.AddFile(u"C:\\emptied\\late.txt");
  m.LockFile(u"C:\\rogue\\locked.dll");
  for (const char16_t* path : {u"C:\\rogue\\locked.dll", u"C:\\rogue\\readonly.exe", u"C:\\rogue",
                               u"C:\\keep", u"C:\\emptied\\late.txt", u"C:\\emptied",
                               u"C:\\never\\there.txt"}) {
    EXPECT_EQ(m.MoveFileExW(path, nullptr,
                            win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_DELAY_UNTIL_REBOOT),
              1);
  }
  EXPECT_EQ(m.PendingDeletions().size(), 7u);
  m.Restart();
  EXPECT_FALSE(m.PathExists(u"C:\\rogue\\locked.dll"));   // locks end with the restart
  EXPECT_TRUE(m.PathExists(u"C:\\rogue\\readonly.exe"));  // Windows cannot delete it
  EXPECT_TRUE(m.PathExists(u"C:\\rogue"));                // so its folder stays
  EXPECT_TRUE(m.PathExists(u"C:\\keep\\other.txt"));      // not empty: stays
  EXPECT_FALSE(m.PathExists(u"C:\\emptied"));             // emptied first, then removed
  EXPECT_TRUE(m.PendingDeletions().empty());
  m.AddFile(u"C:\\relocked.dll");
  EXPECT_TRUE(Delete(u"C:\\relocked.dll"));
}

TEST_F(SimFiles, RenamingMovesEntries) {
  m.AddFile(u"C:\\a\\one.txt");
  m.AddFile(u"C:\\b\\two.txt");
  EXPECT_EQ(m.MoveFileExW(u"C:\\a\\one.txt", u"C:\\b\\moved.txt", 0), 1);
  EXPECT_TRUE(m.PathExists(u"C:\\b\\moved.txt"));
  EXPECT_EQ(m.MoveFileExW(u"C:\\b\\moved.txt", u"C:\\b\\two.txt", 0), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_ALREADY_EXISTS);
  EXPECT_EQ(m.MoveFileExW(u"C:\\b\\moved.txt", u"C:\\b\\two.txt", win::MOVEFILE_REPLACE_EXISTING), 1);
  EXPECT_EQ(m.MoveFileExW(u"C:\\b", u"C:\\b\\inner", 0), 0);
  EXPECT_EQ(m.MoveFileExW(u"C:\\b\\two.txt", nullptr, 0), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_INVALID_PARAMETER);
}

TEST_F(SimFiles, FullPathsLogicalDrivesAndProtection) {
  m.AddDrive(u'd');
  char16_t buffer[16];
  EXPECT_EQ(m.GetLogicalDriveStringsW(16, buffer), 8u);
  EXPECT_EQ(std::u16string(buffer, 9), std::u16string(u"C:\\\0D:\\\0", 8) + u'\0');
  m.ProtectSystemFile(u"C:\\Windows\\System32\\kernel32.dll");
  EXPECT_EQ(m.SfcIsFileProtected(win::HANDLE{}, u"c:\\windows\\system32\\KERNEL32.DLL"), 1);
  EXPECT_EQ(m.SfcIsFileProtected(win::HANDLE{}, u"C:\\Windows\\System32\\rogue.dll"), 0);
}

TEST_F(SimFiles, DescribeFilesDrawsTheTree) {
  m.AddFile(u"C:\\Dir\\f.txt", win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_ARCHIVE);
  m.AddLink(u"C:\\Dir\\j", u"C:\\Other", LinkKind::Junction);
  EXPECT_EQ(m.DescribeFiles(),
            "C:\\ [DHS]\n"
            "C:\\Dir\\ [D]\n"
            "C:\\Dir\\f.txt [RA]\n"
            "C:\\Dir\\j\\ [DL] -> C:\\Other\n");
}

}  // namespace
}  // namespace quenwick::sim
