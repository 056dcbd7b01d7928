// Simulated processes: snapshots, opening and ending, started programs, and
// what a restart leaves running.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/sim/sim_machine.h"

namespace quenwick::sim {
namespace {

using win::DWORD;
using win::HANDLE;

constexpr DWORD kKillAccess =
    win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ | win::PROCESS_TERMINATE;

std::vector<std::pair<DWORD, std::u16string>> Snapshot(SimMachine& m) {
  std::vector<std::pair<DWORD, std::u16string>> list;
  const HANDLE snapshot = m.CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
  win::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (win::BOOL more = m.Process32FirstW(snapshot, &entry); more;
       more = m.Process32NextW(snapshot, &entry)) {
    list.emplace_back(entry.th32ProcessID, entry.szExeFile);
  }
  m.CloseHandle(snapshot);
  return list;
}

TEST(SimProcesses, SnapshotIsTakenAtItsMoment) {
  SimMachine m;
  const DWORD first = m.AddProcess(u"C:\\Rogue\\rogue.exe");
  const HANDLE snapshot = m.CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
  const DWORD later = m.AddProcess(u"C:\\Rogue\\later.exe");
  win::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  ASSERT_EQ(m.Process32FirstW(snapshot, &entry), 1);
  EXPECT_EQ(entry.th32ProcessID, first);
  EXPECT_EQ(std::u16string(entry.szExeFile), u"rogue.exe");
  EXPECT_EQ(m.Process32NextW(snapshot, &entry), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_NO_MORE_FILES);
  entry.dwSize = sizeof entry - 12;  // the 32-bit layout's size
  EXPECT_EQ(m.Process32FirstW(snapshot, &entry), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_BAD_LENGTH);
  EXPECT_EQ(m.CloseHandle(snapshot), 1);
  EXPECT_EQ(Snapshot(m).size(), 2u);
  EXPECT_NE(first, later);
}

TEST(SimProcesses, OpeningAndEndingFollowTheProcessOptions) {
  SimMachine m;
  const DWORD guarded = m.AddProcess(u"C:\\g.exe", ProcessOptions{false, true, false, true});
  const DWORD stubborn = m.AddProcess(u"C:\\s.exe", ProcessOptions{true, false, false, true});
  const DWORD critical = m.AddProcess(u"C:\\c.exe", ProcessOptions{true, true, true, false});

  EXPECT_FALSE(m.OpenProcess(kKillAccess, 0, guarded));
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_FALSE(m.OpenProcess(kKillAccess, 0, 99999));
  EXPECT_EQ(m.GetLastError(), win::ERROR_INVALID_PARAMETER);

  const HANDLE s = m.OpenProcess(kKillAccess, 0, stubborn);
  ASSERT_TRUE(s);
  EXPECT_EQ(m.TerminateProcess(s, 0), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_TRUE(m.IsRunning(stubborn));

  const HANDLE c = m.OpenProcess(kKillAccess, 0, critical);
  win::BOOL isCritical = 0;
  EXPECT_EQ(m.IsProcessCritical(c, &isCritical), 1);
  EXPECT_EQ(isCritical, 1);
  char16_t image[64];
  EXPECT_EQ(m.GetModuleFileNameExW(c, win::HMODULE{}, image, 64), 0u);  // image not readable
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(m.TerminateProcess(c, 0), 1);
  EXPECT_FALSE(m.IsRunning(critical));
  EXPECT_EQ(m.TerminateProcess(c, 0), 0);  // already ended
  EXPECT_FALSE(m.OpenProcess(kKillAccess, 0, critical));
  EXPECT_EQ(m.GetLastError(), win::ERROR_INVALID_PARAMETER);

  // A handle opened without PROCESS_TERMINATE cannot end the process.
  const HANDLE readOnly = m.OpenProcess(win::PROCESS_QUERY_INFORMATION, 0, stubborn);
  EXPECT_EQ(m.TerminateProcess(readOnly, 0), 0);
  EXPECT_EQ(m.OpenHandleCount(), 3u);
  for (HANDLE h : {s, c, readOnly}) EXPECT_EQ(m.CloseHandle(h), 1);
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST(SimProcesses, ModuleFileNameIsCutToTheBuffer) {
  SimMachine m;
  const DWORD pid = m.AddProcess(u"C:\\Rogue\\rogue.exe");  // 18 characters
  const HANDLE h = m.OpenProcess(kKillAccess, 0, pid);
  char16_t image[32];
  EXPECT_EQ(m.GetModuleFileNameExW(h, win::HMODULE{}, image, 32), 18u);
  EXPECT_EQ(std::u16string(image), u"C:\\Rogue\\rogue.exe");
  EXPECT_EQ(m.GetModuleFileNameExW(h, win::HMODULE{}, image, 8), 8u);
  EXPECT_EQ(std::u16string(image), u"C:\\Rogu");
  m.CloseHandle(h);
}

TEST(SimProcesses, StartedProgramsAreRecordedAndWaitedFor) {
  SimMachine m;
  m.AddFile(u"C:\\Rogue\\unins000.exe");
  m.AddFile(u"C:\\Rogue\\slow.exe");
  m.AddFile(u"C:\\Rogue\\broken.exe");
  m.AddFolder(u"C:\\Rogue\\folder");
  m.SetProgramBehaviour(u"c:\\rogue\\SLOW.exe", ProgramBehaviour{false, true});
  m.SetProgramBehaviour(u"C:\\Rogue\\broken.exe", ProgramBehaviour{true, false});

  auto start = [&](const std::u16string& app, win::PROCESS_INFORMATION* info) {
    std::u16string commandLine = u"\"" + app + u"\" /SILENT";
    win::STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return m.CreateProcessW(app.c_str(), commandLine.data(), nullptr, nullptr, 0, 0, nullptr,
                            nullptr, &startup, info);
  };
  win::PROCESS_INFORMATION quick{};
  ASSERT_EQ(start(u"C:\\Rogue\\unins000.exe", &quick), 1);
  EXPECT_TRUE(m.IsRunning(quick.dwProcessId));
  EXPECT_EQ(m.WaitForSingleObject(quick.hProcess, 30000), win::WAIT_OBJECT_0);
  EXPECT_FALSE(m.IsRunning(quick.dwProcessId));

  win::PROCESS_INFORMATION slow{};
  ASSERT_EQ(start(u"C:\\Rogue\\slow.exe", &slow), 1);
  EXPECT_EQ(m.WaitForSingleObject(slow.hProcess, 10000), win::WAIT_TIMEOUT);
  EXPECT_TRUE(m.IsRunning(slow.dwProcessId));

  win::PROCESS_INFORMATION none{};
  EXPECT_EQ(start(u"C:\\Rogue\\broken.exe", &none), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(start(u"C:\\Rogue\\folder", &none), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(start(u"C:\\Rogue\\missing.exe", &none), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(start(u"C:\\Nowhere\\missing.exe", &none), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_PATH_NOT_FOUND);

  const std::vector<StartedProgram>& started = m.StartedPrograms();
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0].applicationName, u"C:\\Rogue\\unins000.exe");
  EXPECT_EQ(started[0].commandLine, u"\"C:\\Rogue\\unins000.exe\" /SILENT");
  EXPECT_TRUE(started[0].waited);
  EXPECT_EQ(started[0].waitedMilliseconds, 30000u);
  EXPECT_EQ(started[1].waitedMilliseconds, 10000u);
  EXPECT_EQ(m.OpenHandleCount(), 4u);  // two processes, two threads
  for (HANDLE h : {quick.hProcess, quick.hThread, slow.hProcess, slow.hThread}) {
    EXPECT_EQ(m.CloseHandle(h), 1);
  }
  EXPECT_EQ(m.CloseHandle(quick.hProcess), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_INVALID_HANDLE);
}

TEST(SimProcesses, SleepIsRecordedNotWaited) {
  SimMachine m;
  m.Sleep(500);
  m.Sleep(0);
  EXPECT_EQ(m.Sleeps(), (std::vector<DWORD>{500, 0}));
}

TEST(SimProcesses, StandardMachineRunsTheSystemAndTheProgram) {
  auto m = SimMachine::Standard();
  EXPECT_EQ(m->GetCurrentProcessId(), 2000u);
  char16_t image[260];
  const DWORD length = m->GetModuleFileNameW(win::HMODULE{}, image, 260);
  EXPECT_EQ(std::u16string(image, length), u"C:\\Users\\User\\Downloads\\quenwick.exe");
  EXPECT_TRUE(m->PathExists(u"C:\\Users\\User\\Downloads\\quenwick.exe"));

  std::vector<std::u16string> names;
  for (const auto& [pid, name] : Snapshot(*m)) names.push_back(name);
  for (const char16_t* expected : {u"System", u"smss.exe", u"csrss.exe", u"wininit.exe",
                                   u"winlogon.exe", u"services.exe", u"lsass.exe", u"svchost.exe",
                                   u"explorer.exe", u"quenwick.exe"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end())
        << std::string(expected, expected + 4);
  }
  // Every image but the kernel's is a file on the machine.
  for (const SimProcess& p : m->Processes()) {
    if (p.pid != 4) {
      EXPECT_TRUE(m->PathExists(p.imagePath));
    }
  }
  EXPECT_FALSE(m->OpenProcess(kKillAccess, 0, 4));
}

TEST(SimProcesses, RestartEndsEverythingButTheSystem) {
  auto m = SimMachine::Standard();
  const DWORD rogue = m->AddProcess(u"C:\\Rogue\\rogue.exe");
  const std::size_t before = Snapshot(*m).size();
  m->Restart();
  EXPECT_FALSE(m->IsRunning(rogue));
  EXPECT_FALSE(m->IsRunning(2000));  // the program itself
  EXPECT_EQ(Snapshot(*m).size(), before - 2);
}

}  // namespace
}  // namespace quenwick::sim
