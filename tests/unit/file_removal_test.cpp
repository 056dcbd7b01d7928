// File-system removal on the simulated machine: the order and kind of every
// deletion, the fallback to deletion at the next start, links that must never
// be followed, and trees deeper than the classic path limit.
#include "system/file_removal.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "platform/sim/sim_machine.h"
#include "system/removal_calls.h"
#include "system/removal_guard.h"

namespace quenwick {
namespace {

using sim::LinkKind;
using sim::SimMachine;

std::string Narrow(const std::u16string& s) { return ToUtf8(s); }

// The calls of one function in the call log, in order.
std::vector<std::string> CallsOf(const SimMachine& m, const std::string& function) {
  std::vector<std::string> out;
  for (const std::string& line : m.CallLog()) {
    if (line.rfind(function + "(", 0) == 0) out.push_back(line);
  }
  return out;
}

std::vector<std::string> NarrowAll(const std::vector<std::u16string>& paths) {
  std::vector<std::string> out;
  for (const auto& p : paths) out.push_back(Narrow(p));
  return out;
}

class FileRemovalTest : public ::testing::Test {
 protected:
  void SetUp() override { handlesBefore_ = m_->OpenHandleCount(); }
  void TearDown() override {
    EXPECT_EQ(m_->OpenHandleCount(), handlesBefore_) << "a handle was left open";
    if (HasFailure()) ADD_FAILURE() << "machine:\n" << m_->DescribeFiles();
  }
  bool Exists(std::u16string_view path) const { return m_->PathExists(path); }
  std::vector<std::string> Pending() const { return NarrowAll(m_->PendingDeletions()); }

  std::unique_ptr<SimMachine> m_ = SimMachine::Standard();
  sim::ScopedPlatform scope_{*m_};
  std::size_t handlesBefore_ = 0;
};

// --- RemovePath and its immediate attempts ----------------------------------

TEST_F(FileRemovalTest, MissingPathDoesNothingAndGivesZero) {
  m_->ResetCallLog();
  EXPECT_EQ(RemovePath(u"C:\\nowhere\\x.exe"), 0);
  EXPECT_EQ(m_->CallCount("DeleteFileW"), 0u);
  EXPECT_EQ(m_->CallCount("RemoveDirectoryW"), 0u);
  EXPECT_EQ(m_->CallCount("MoveFileExW"), 0u);
}

TEST_F(FileRemovalTest, PlainFileIsDeletedWithoutAttributeChange) {
  m_->AddFile(u"C:\\rogue\\a.exe");
  m_->ResetCallLog();
  EXPECT_EQ(RemovePath(u"C:\\rogue\\a.exe"), 1);
  EXPECT_FALSE(Exists(u"C:\\rogue\\a.exe"));
  EXPECT_TRUE(Exists(u"C:\\rogue"));
  EXPECT_EQ(m_->CallCount("SetFileAttributesW"), 0u);
  EXPECT_EQ(m_->CallCount("MoveFileExW"), 0u);
}

TEST_F(FileRemovalTest, ReadOnlyFileGivenDirectlyIsRegisteredWithReadOnlyCleared) {
  // Direct removal does not touch attributes, so the delete is refused and
  // the file waits for the next start.
  m_->AddFile(u"C:\\rogue\\ro.dll", win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(RemovePath(u"C:\\rogue\\ro.dll"), 1);
  ASSERT_TRUE(Exists(u"C:\\rogue\\ro.dll"));
  EXPECT_EQ(m_->Attributes(u"C:\\rogue\\ro.dll") & win::FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_NE(m_->Attributes(u"C:\\rogue\\ro.dll") & win::FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Pending(), std::vector<std::string>{"C:\\rogue\\ro.dll"});
  m_->Restart();
  EXPECT_FALSE(Exists(u"C:\\rogue\\ro.dll"));
}

TEST_F(FileRemovalTest, ReadOnlyFileInsideATreeGoesAtOnce) {
  m_->AddFile(u"C:\\rogue\\ro.dll", win::FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RemovePath(u"C:\\rogue"), 1);
  EXPECT_FALSE(Exists(u"C:\\rogue"));
  EXPECT_TRUE(Pending().empty());
}

// DeleteFileOrSchedule by the error of the failed attempt.
TEST_F(FileRemovalTest, DeleteFileOrScheduleFollowsTheErrorOfTheAttempt) {
  struct Case {
    const char* what;
    win::DWORD error;  // 0: locked by another process
    std::int32_t result;
    bool registered;
  };
  const Case cases[] = {
      {"sharing violation", 0, 1, true},
      {"access denied", win::ERROR_ACCESS_DENIED, 1, true},
      {"already gone", win::ERROR_FILE_NOT_FOUND, 1, false},
      {"write protected", win::ERROR_WRITE_PROTECT, 0, false},
      {"path not found", win::ERROR_PATH_NOT_FOUND, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto m = SimMachine::Standard();
    sim::ScopedPlatform scope(*m);
    const std::u16string path = u"C:\\rogue\\x.exe";
    m->AddFile(path);
    if (c.error == 0) {
      m->LockFile(path);
    } else {
      m->FailDelete(path, c.error);
    }
    EXPECT_EQ(DeleteFileOrSchedule(path), c.result);
    EXPECT_EQ(m->PendingDeletions().size(), c.registered ? 1u : 0u);
    EXPECT_EQ(m->CallCount("DeleteFileW"), 1u) << "one attempt, no retry";
  }
}

TEST_F(FileRemovalTest, RemoveDirectoryOrScheduleFollowsTheErrorOfTheAttempt) {
  struct Case {
    win::DWORD error;
    std::int32_t result;
    bool registered;
  };
  const Case cases[] = {
      {win::ERROR_ACCESS_DENIED, 1, true},
      {win::ERROR_DIR_NOT_EMPTY, 1, true},
      {win::ERROR_SHARING_VIOLATION, 1, true},
      {win::ERROR_FILE_NOT_FOUND, 0, false},
      {win::ERROR_WRITE_PROTECT, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    auto m = SimMachine::Standard();
    sim::ScopedPlatform scope(*m);
    m->AddFolder(u"C:\\rogue");
    m->FailDelete(u"C:\\rogue", c.error);
    EXPECT_EQ(RemoveDirectoryOrSchedule(u"C:\\rogue"), c.result);
    EXPECT_EQ(m->PendingDeletions().size(), c.registered ? 1u : 0u);
  }
}

TEST_F(FileRemovalTest, FailedRegistrationGivesZero) {
  m_->AddFile(u"C:\\rogue\\x.exe");
  m_->LockFile(u"C:\\rogue\\x.exe");
  m_->FailMove(u"C:\\rogue\\x.exe", win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(RemovePath(u"C:\\rogue\\x.exe"), 0);
  EXPECT_TRUE(Pending().empty());
}

// --- RemoveFolderTree ---------------------------------------------------------

TEST_F(FileRemovalTest, DeletableTreeGoesAtOnceFilesFirstDeepestFoldersFirst) {
  // C:\rogue
  //   a.txt   (hidden)
  //   sub\    b.txt (system), deep\ c.txt
  //   z.txt
  m_->AddFile(u"C:\\rogue\\a.txt", win::FILE_ATTRIBUTE_HIDDEN);
  m_->AddFile(u"C:\\rogue\\sub\\b.txt", win::FILE_ATTRIBUTE_SYSTEM);
  m_->AddFile(u"C:\\rogue\\sub\\deep\\c.txt");
  m_->AddFile(u"C:\\rogue\\z.txt");
  m_->ResetCallLog();
  EXPECT_EQ(RemovePath(u"C:\\rogue"), 1);
  EXPECT_FALSE(Exists(u"C:\\rogue"));
  EXPECT_TRUE(Exists(u"C:\\"));
  EXPECT_TRUE(Pending().empty());

  // Files of a folder before its subfolders; every folder after its content.
  std::vector<std::string> removals;
  for (const std::string& line : m_->CallLog()) {
    if (line.rfind("DeleteFileW(", 0) == 0 || line.rfind("RemoveDirectoryW(", 0) == 0) {
      removals.push_back(line.substr(0, line.find(')')));
    }
  }
  const std::vector<std::string> want = {
      "DeleteFileW(C:\\rogue\\a.txt",          "DeleteFileW(C:\\rogue\\z.txt",
      "DeleteFileW(C:\\rogue\\sub\\b.txt",     "DeleteFileW(C:\\rogue\\sub\\deep\\c.txt",
      "RemoveDirectoryW(C:\\rogue\\sub\\deep", "RemoveDirectoryW(C:\\rogue\\sub",
      "RemoveDirectoryW(C:\\rogue",
  };
  EXPECT_EQ(removals, want);
}

TEST_F(FileRemovalTest, EveryFileAndFolderIsSetNormalBeforeItsDeletion) {
  m_->AddFolder(u"C:\\rogue", win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_READONLY);
  m_->AddFile(u"C:\\rogue\\a.txt", win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_SYSTEM);
  m_->ResetCallLog();
  EXPECT_EQ(RemoveFolderTree(u"C:\\rogue"), 1);
  std::vector<std::string> changes;
  for (const std::string& line : m_->CallLog()) {
    if (line.rfind("SetFileAttributesW(", 0) == 0 || line.rfind("DeleteFileW(", 0) == 0 ||
        line.rfind("RemoveDirectoryW(", 0) == 0) {
      changes.push_back(line.substr(0, line.find('(')));
    }
  }
  const std::vector<std::string> want = {"SetFileAttributesW", "DeleteFileW", "SetFileAttributesW",
                                         "RemoveDirectoryW"};
  EXPECT_EQ(changes, want);
  const auto sets = CallsOf(*m_, "SetFileAttributesW");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_NE(sets[0].find("C:\\rogue\\a.txt, 0x80"), std::string::npos) << sets[0];
  EXPECT_NE(sets[1].find("C:\\rogue, 0x80"), std::string::npos) << sets[1];
}

TEST_F(FileRemovalTest, LockedFileIsRegisteredAndItsFoldersBehindIt) {
  m_->AddFile(u"C:\\rogue\\bin\\rogue.exe");
  m_->AddFile(u"C:\\rogue\\bin\\helper.dll");
  m_->AddFile(u"C:\\rogue\\readme.txt");
  m_->LockFile(u"C:\\rogue\\bin\\rogue.exe");
  EXPECT_EQ(RemovePath(u"C:\\rogue"), 1);
  EXPECT_FALSE(Exists(u"C:\\rogue\\readme.txt"));
  EXPECT_FALSE(Exists(u"C:\\rogue\\bin\\helper.dll"));
  EXPECT_TRUE(Exists(u"C:\\rogue\\bin\\rogue.exe"));
  const std::vector<std::string> want = {"C:\\rogue\\bin\\rogue.exe", "C:\\rogue\\bin",
                                         "C:\\rogue"};
  EXPECT_EQ(Pending(), want);
  m_->Restart();
  EXPECT_FALSE(Exists(u"C:\\rogue"));
}

TEST_F(FileRemovalTest, OtherFailureKeepsItsFoldersUpToTheTopAndTheRestGoes) {
  // C:\rogue\keep\stuck.dat fails with 19; C:\rogue\keep\gone.txt and
  // C:\rogue\other\ go; C:\rogue\keep and C:\rogue stay unregistered.
  m_->AddFile(u"C:\\rogue\\keep\\stuck.dat");
  m_->AddFile(u"C:\\rogue\\keep\\gone.txt");
  m_->AddFile(u"C:\\rogue\\other\\x.txt");
  m_->AddFile(u"C:\\rogue\\top.txt");
  m_->FailDelete(u"C:\\rogue\\keep\\stuck.dat", win::ERROR_WRITE_PROTECT);
  EXPECT_EQ(RemovePath(u"C:\\rogue"), 0);
  EXPECT_TRUE(Exists(u"C:\\rogue\\keep\\stuck.dat"));
  EXPECT_FALSE(Exists(u"C:\\rogue\\keep\\gone.txt"));
  EXPECT_FALSE(Exists(u"C:\\rogue\\other"));
  EXPECT_FALSE(Exists(u"C:\\rogue\\top.txt"));
  EXPECT_TRUE(Pending().empty());
}

TEST_F(FileRemovalTest, DotFolderIsKeptAndItsParentRegistered) {
  m_->AddFile(u"C:\\rogue\\.cache\\blob");
  m_->AddFile(u"C:\\rogue\\a.txt");
  EXPECT_EQ(RemovePath(u"C:\\rogue"), 1);
  EXPECT_TRUE(Exists(u"C:\\rogue\\.cache\\blob"));
  EXPECT_FALSE(Exists(u"C:\\rogue\\a.txt"));
  EXPECT_EQ(Pending(), std::vector<std::string>{"C:\\rogue"});
}

TEST_F(FileRemovalTest, TrailingBackslashGivesSingleSeparators) {
  m_->AddFile(u"C:\\rogue\\a.txt");
  m_->AddFile(u"C:\\rogue\\sub\\b.txt");
  m_->ResetCallLog();
  EXPECT_EQ(RemovePath(u"C:\\rogue\\"), 1);
  EXPECT_FALSE(Exists(u"C:\\rogue"));
  for (const std::string& line : m_->CallLog()) {
    EXPECT_EQ(line.find("\\\\"), std::string::npos) << line;
  }
  EXPECT_EQ(CallsOf(*m_, "DeleteFileW").size(), 2u);
}

// --- Links ----------------------------------------------------------------------

// What a rogue folder can hold to make a careless walk delete outside it:
//   C:\rogue\j      junction          -> C:\Victim\Dir   (holds keep.txt, sub\deep.txt)
//   C:\rogue\d      directory link    -> C:\Victim\Other (holds other.txt)
//   C:\rogue\f.lnk  file link         -> C:\Victim\file.txt (read-only)
//   C:\rogue\real.txt
void PlantLinks(SimMachine& m) {
  m.AddFile(u"C:\\Victim\\Dir\\keep.txt");
  m.AddFile(u"C:\\Victim\\Dir\\sub\\deep.txt");
  m.AddFile(u"C:\\Victim\\Other\\other.txt");
  m.AddFile(u"C:\\Victim\\file.txt", win::FILE_ATTRIBUTE_READONLY);
  m.AddFile(u"C:\\rogue\\real.txt");
  m.AddLink(u"C:\\rogue\\j", u"C:\\Victim\\Dir", LinkKind::Junction);
  m.AddLink(u"C:\\rogue\\d", u"C:\\Victim\\Other", LinkKind::DirectorySymlink);
  m.AddLink(u"C:\\rogue\\f.lnk", u"C:\\Victim\\file.txt", LinkKind::FileSymlink);
}

void ExpectVictimIntact(const SimMachine& m) {
  EXPECT_TRUE(m.PathExists(u"C:\\Victim\\Dir\\keep.txt"));
  EXPECT_TRUE(m.PathExists(u"C:\\Victim\\Dir\\sub\\deep.txt"));
  EXPECT_TRUE(m.PathExists(u"C:\\Victim\\Other\\other.txt"));
  EXPECT_TRUE(m.PathExists(u"C:\\Victim\\file.txt"));
  EXPECT_EQ(m.Attributes(u"C:\\Victim\\file.txt"),
            win::FILE_ATTRIBUTE_READONLY) << "the target's attributes were changed";
}

// The walk as first designed, without any treatment of links: every file is
// set normal and deleted, every folder entry is walked. Kept here only to show
// that the simulated machine lets such a walk reach the targets.
std::int32_t UnmendedWalk(const std::u16string& folder) {
  std::int32_t result = 1;
  win::WIN32_FIND_DATAW data{};
  const std::u16string pattern = removal::JoinPath(folder, u"*.*");
  win::HFIND find = Sys().FindFirstFileW(pattern.c_str(), &data);
  if (find != win::INVALID_FIND_HANDLE) {
    do {
      if (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::u16string path = removal::JoinPath(folder, data.cFileName);
      Sys().SetFileAttributesW(path.c_str(), win::FILE_ATTRIBUTE_NORMAL);
      result &= DeleteFileOrSchedule(path);
    } while (Sys().FindNextFileW(find, &data));
    Sys().FindClose(find);
  }
  find = Sys().FindFirstFileW(pattern.c_str(), &data);
  if (find != win::INVALID_FIND_HANDLE) {
    do {
      if (!(data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) || data.cFileName[0] == u'.') {
        continue;
      }
      result &= UnmendedWalk(removal::JoinPath(folder, data.cFileName));
    } while (Sys().FindNextFileW(find, &data));
    Sys().FindClose(find);
  }
  if (result == 0) return 0;
  Sys().SetFileAttributesW(folder.c_str(), win::FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryOrSchedule(folder);
}

TEST_F(FileRemovalTest, UnmendedWalkWouldDeleteThroughLinks) {
  // The danger is real on this machine: without link handling the targets go.
  PlantLinks(*m_);
  UnmendedWalk(u"C:\\rogue");
  EXPECT_FALSE(m_->PathExists(u"C:\\Victim\\Dir\\keep.txt"));
  EXPECT_FALSE(m_->PathExists(u"C:\\Victim\\Dir\\sub\\deep.txt"));
  EXPECT_FALSE(m_->PathExists(u"C:\\Victim\\Other\\other.txt"));
}

TEST_F(FileRemovalTest, LinksInsideTheTreeAreRemovedAsLinksAndTargetsStay) {
  PlantLinks(*m_);
  m_->ResetCallLog();
  EXPECT_EQ(RemovePath(u"C:\\rogue"), 1);
  EXPECT_FALSE(Exists(u"C:\\rogue"));
  ExpectVictimIntact(*m_);
  EXPECT_TRUE(Pending().empty());
  // Nothing under a link was ever searched or touched.
  for (const std::string& line : m_->CallLog()) {
    EXPECT_EQ(line.find("Victim"), std::string::npos) << line;
    EXPECT_EQ(line.find("C:\\rogue\\j\\"), std::string::npos) << line;
    EXPECT_EQ(line.find("C:\\rogue\\d\\"), std::string::npos) << line;
  }
  EXPECT_EQ(CallsOf(*m_, "SetFileAttributesW").size(), 2u) << "real.txt and the folder only";
}

TEST_F(FileRemovalTest, LinkNamedDirectlyLosesOnlyTheLink) {
  PlantLinks(*m_);
  for (const char16_t* link : {u"C:\\rogue\\j", u"C:\\rogue\\d", u"C:\\rogue\\f.lnk"}) {
    SCOPED_TRACE(Narrow(link));
    EXPECT_EQ(RemovePath(link), 1);
    EXPECT_FALSE(Exists(link));
  }
  PlantLinks(*m_);
  EXPECT_EQ(RemoveFolderTree(u"C:\\rogue\\j"), 1);
  EXPECT_FALSE(Exists(u"C:\\rogue\\j"));
  ExpectVictimIntact(*m_);
  EXPECT_TRUE(Pending().empty());
}

TEST_F(FileRemovalTest, LinkThatRefusesToGoStaysUnregisteredWithItsParents) {
  // As under Wine, where a link to a folder cannot be removed as a link.
  PlantLinks(*m_);
  m_->FailDelete(u"C:\\rogue\\j", win::ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(RemovePath(u"C:\\rogue"), 0);
  EXPECT_TRUE(Exists(u"C:\\rogue\\j"));
  EXPECT_FALSE(Exists(u"C:\\rogue\\d"));
  EXPECT_FALSE(Exists(u"C:\\rogue\\real.txt"));
  EXPECT_TRUE(Exists(u"C:\\rogue"));
  EXPECT_TRUE(Pending().empty());
  ExpectVictimIntact(*m_);
}

// --- Long paths and deep trees ------------------------------------------------

std::u16string DeepFolder(std::size_t levels, std::u16string_view name) {
  std::u16string path = u"C:\\rogue";
  for (std::size_t i = 0; i < levels; ++i) path.append(u"\\").append(name);
  return path;
}

TEST_F(FileRemovalTest, TreeBeyondTheClassicPathLimitIsRemovedCompletely) {
  // 12 levels of 30-character names: the deepest paths are about 400
  // characters; the classic calls refuse them on this machine.
  const std::u16string name(30, u'n');
  const std::u16string deepest = DeepFolder(12, name);
  ASSERT_GT(deepest.size(), removal::kMaxPath + 100);
  m_->AddFile(deepest + u"\\payload.exe", win::FILE_ATTRIBUTE_READONLY);
  m_->AddFile(DeepFolder(6, name) + u"\\mid.dll");
  m_->AddFile(DeepFolder(11, name) + u"\\locked.dat");
  m_->LockFile(DeepFolder(11, name) + u"\\locked.dat");
  EXPECT_EQ(RemovePath(u"C:\\rogue"), 1);
  EXPECT_FALSE(Exists(deepest));
  EXPECT_FALSE(Exists(DeepFolder(6, name) + u"\\mid.dll"));
  // The locked file and the twelve folders above it are registered, children
  // first, in the long form where they need it.
  const auto pending = m_->PendingDeletions();
  ASSERT_EQ(pending.size(), 13u);
  EXPECT_EQ(pending[0], removal::CallPath(DeepFolder(11, name) + u"\\locked.dat"));
  EXPECT_EQ(pending[0].substr(0, 4), u"\\\\?\\");
  EXPECT_EQ(pending.back(), u"C:\\rogue");
  m_->Restart();
  EXPECT_FALSE(Exists(u"C:\\rogue"));
}

TEST_F(FileRemovalTest, FileDeepInATreeIsRemovedByItsLongPath) {
  const std::u16string file = DeepFolder(10, std::u16string(40, u'q')) + u"\\x.exe";
  m_->AddFile(file);
  EXPECT_EQ(RemovePath(file), 1);
  EXPECT_FALSE(Exists(file));
}

struct WalkArgs {
  std::u16string folder;
  std::int32_t result = -1;
};

void* RunRemovePath(void* arg) {
  auto* args = static_cast<WalkArgs*>(arg);
  args->result = RemovePath(args->folder);
  return nullptr;
}

TEST_F(FileRemovalTest, VeryDeepTreeIsRemovedOnASmallStack) {
  // 1500 levels: a walk that keeps a path buffer and a find record on the
  // stack per level needs well over a megabyte here; this one runs on 256 KB.
  constexpr std::size_t kLevels = 1500;
  const std::u16string deepest = DeepFolder(kLevels, u"d");
  m_->AddFile(deepest + u"\\bottom.txt");
  m_->AddFile(DeepFolder(kLevels / 2, u"d") + u"\\middle.txt");
  m_->SetCallLogging(false);

  WalkArgs args{u"C:\\rogue"};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, &RunRemovePath, &args), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);

  EXPECT_EQ(args.result, 1);
  EXPECT_FALSE(Exists(u"C:\\rogue"));
  EXPECT_TRUE(Pending().empty());
}

// --- Registration ---------------------------------------------------------------

TEST_F(FileRemovalTest, RegistrationClearsOnlyReadOnlyAndUsesFlagsFive) {
  m_->AddFile(u"C:\\rogue\\x.sys",
              win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_SYSTEM | win::FILE_ATTRIBUTE_HIDDEN);
  m_->ResetCallLog();
  EXPECT_EQ(ScheduleDeleteAtRestart(u"C:\\rogue\\x.sys"), 1);
  EXPECT_EQ(m_->Attributes(u"C:\\rogue\\x.sys"),
            win::FILE_ATTRIBUTE_SYSTEM | win::FILE_ATTRIBUTE_HIDDEN);
  const auto moves = CallsOf(*m_, "MoveFileExW");
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_NE(moves[0].find("0x5"), std::string::npos) << moves[0];
  EXPECT_EQ(Pending(), std::vector<std::string>{"C:\\rogue\\x.sys"});
}

TEST_F(FileRemovalTest, RegistrationOfAFileWithoutReadOnlyChangesNoAttribute) {
  m_->AddFile(u"C:\\rogue\\x.exe");
  m_->ResetCallLog();
  EXPECT_EQ(ScheduleDeleteAtRestart(u"C:\\rogue\\x.exe"), 1);
  EXPECT_EQ(m_->CallCount("SetFileAttributesW"), 0u);
}

// --- Call paths -------------------------------------------------------------------

// Paths at Windows' limits, and a locked file named twice in one pass.
TEST_F(FileRemovalTest, PathsAtTheLimitsAndLockedFilesNamedTwice) {
  m_->AddFile(u"C:\\rogue\\rogue.exe");
  m_->LockFile(u"C:\\rogue\\rogue.exe");
  const std::u16string tooLong = u"C:\\rogue\\" + std::u16string(removal::kMaxLongPath, u'x');
  {
    removal::GuardScope pass;  // one clean pass
    // Past the limit: refused before any call, nothing registered.
    EXPECT_EQ(RemovePath(tooLong), 0);
    EXPECT_EQ(ScheduleDeleteAtRestart(tooLong), 0);
    EXPECT_EQ(PathAttributes(tooLong), win::INVALID_FILE_ATTRIBUTES);
    // A file deletion, then the deletion of its folder: registered once.
    EXPECT_EQ(RemovePath(u"C:\\rogue\\rogue.exe"), 1);
    EXPECT_EQ(RemovePath(u"C:\\rogue"), 1);
  }
  const std::vector<std::string> want = {"C:\\rogue\\rogue.exe", "C:\\rogue"};
  EXPECT_EQ(Pending(), want);
  for (const std::string& call : m_->CallLog()) {
    EXPECT_LT(call.size(), removal::kMaxLongPath) << "a call was made with the over-long path";
    // A drive root is never looked up (an empty floppy or card slot).
    EXPECT_FALSE(call.starts_with("GetLongPathNameW(C:\\, ")) << call;
  }
}

TEST(CallPathTest, LongFormOnlyWhereTheClassicRulesFail) {
  const std::u16string longTail(270, u'x');
  struct Case {
    std::u16string in;
    std::u16string want;
  };
  const Case cases[] = {
      {u"C:\\rogue\\a.txt", u"C:\\rogue\\a.txt"},
      {u"C:\\" + longTail, u"\\\\?\\C:\\" + longTail},
      {u"\\\\server\\share\\" + longTail, u"\\\\?\\UNC\\server\\share\\" + longTail},
      {u"\\\\?\\C:\\" + longTail, u"\\\\?\\C:\\" + longTail},
      {u"relative\\" + longTail, u"relative\\" + longTail},
      // Names that the classic rules would shorten to another file's name.
      {u"C:\\rogue\\evil.", u"\\\\?\\C:\\rogue\\evil."},
      {u"C:\\rogue\\evil ", u"\\\\?\\C:\\rogue\\evil "},
      {u"C:\\rogue.\\x", u"\\\\?\\C:\\rogue.\\x"},
      {u"C:\\rogue\\*.*", u"C:\\rogue\\*.*"},
      {u"C:\\Program Files\\x", u"C:\\Program Files\\x"},
      {u"C:\\rogue\\", u"C:\\rogue\\"},
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Narrow(removal::CallPath(c.in)), Narrow(c.want));
  }
  // 259 characters fit the classic buffer with the terminator; 260 do not.
  const std::u16string fits = u"C:\\" + std::u16string(256, u'a');
  ASSERT_EQ(fits.size(), 259u);
  EXPECT_EQ(removal::CallPath(fits), fits);
  EXPECT_EQ(removal::CallPath(fits + u"a"), u"\\\\?\\" + fits + u"a");
}

}  // namespace
}  // namespace quenwick
