// KillProcess on the simulated machine: the matching forms, the boundary
// rule, the -1 results, the single pause and the release of every handle.
#include "elements/kill_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "platform/sim/sim_machine.h"

namespace quenwick {
namespace {

constexpr char16_t kRogue[] = u"C:\\Program Files\\Rogue Soft\\rogue.exe";

// A running program: its image file and a process of it.
win::DWORD StartProgram(sim::SimMachine& m, std::u16string_view image, sim::ProcessOptions options = {}) {
  m.AddFile(image);
  return m.AddProcess(image, options);
}

class KillProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(m_->OpenHandleCount(), handlesBefore_) << "a handle was left open";
  }
  // Runs KillProcess with a literal target.
  std::int32_t Kill(std::u16string target) {
    KillProcess element;
    element.target = Operand::Text(std::move(target));
    element.owner = &definition_;
    return element.Execute();
  }
  std::size_t LogIndex(const std::string& prefix) const {
    const auto& log = m_->CallLog();
    for (std::size_t i = 0; i < log.size(); ++i) {
      if (log[i].rfind(prefix, 0) == 0) return i;
    }
    return log.size();
  }

  std::unique_ptr<sim::SimMachine> m_ = sim::SimMachine::Standard();
  sim::ScopedPlatform scope_{*m_};
  Definition definition_{2};
  std::size_t handlesBefore_ = m_->OpenHandleCount();
};

TEST_F(KillProcessTest, TargetFormsAndBoundaryRule) {
  struct Case {
    std::u16string target;
    bool killed;
  };
  const std::u16string rogue = kRogue;
  const Case cases[] = {
      {rogue, true},
      {u"c:\\PROGRAM FILES\\rogue soft\\ROGUE.EXE", true},
      {rogue + u" /autorun -x", true},
      {u"\"" + rogue + u"\"", true},
      {u"\"" + rogue + u"\" /min", true},
      {u"\"" + rogue + u"\"/min", true},
      {u"C:/Program Files//Rogue Soft\\\\\\rogue.exe", true},
      {u"%ProgramFiles%\\Rogue Soft\\rogue.exe", true},
      {rogue + u"2", false},
      {rogue.substr(0, rogue.size() - 1), false},
      {rogue + u"\t/x", false},
      {u"\"" + rogue + u"2\"", false},
      {u"\"" + rogue.substr(0, rogue.size() - 1) + u"\"", false},
      {u"C:\\PROGRA~1\\Rogue Soft\\rogue.exe", true},  // a short form is lengthened
      {u"\"C:\\PROGRA~1\\Rogue Soft\\rogue.exe\" /x", true},
      {u"C:\\PROGRA~1\\Rogue Soft\\rogue.exe /x", false},  // names no file: kept as written
      {u"rogue.exe", false},
      {u"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.target));
    auto m = sim::SimMachine::Standard();
    sim::ScopedPlatform scope(*m);
    m->SetShortName(u"C:\\Program Files", u"C:\\PROGRA~1");
    const win::DWORD pid = StartProgram(*m, kRogue);
    EXPECT_EQ(Kill(c.target), c.killed ? 1 : 0);
    EXPECT_EQ(m->IsRunning(pid), !c.killed);
    EXPECT_EQ(m->Sleeps(), std::vector<win::DWORD>{500});
  }
}

TEST_F(KillProcessTest, PlainTargetWithSpacesAlsoMatchesTheProgramBeforeASpace) {
  // "C:\Program Files\Rogue Soft\rogue.exe" read as a command line could be
  // the program "C:\Program" with arguments; such a process is ended too.
  const win::DWORD rogue = StartProgram(*m_, kRogue);
  const win::DWORD program = StartProgram(*m_, u"C:\\Program");
  const win::DWORD other = StartProgram(*m_, u"C:\\Program Files\\Other\\other.exe");
  EXPECT_EQ(Kill(kRogue), 2);
  EXPECT_FALSE(m_->IsRunning(rogue));
  EXPECT_FALSE(m_->IsRunning(program));
  EXPECT_TRUE(m_->IsRunning(other));
}

TEST_F(KillProcessTest, LettersBeyondAToZMustMatchExactly) {
  const win::DWORD pid = StartProgram(*m_, u"C:\\Rogue\\\u00c4rger.exe");
  EXPECT_EQ(Kill(u"C:\\Rogue\\\u00e4rger.exe"), 0);
  EXPECT_TRUE(m_->IsRunning(pid));
  EXPECT_EQ(Kill(u"c:\\rogue\\\u00c4RGER.EXE"), 1);
  EXPECT_FALSE(m_->IsRunning(pid));
}

TEST_F(KillProcessTest, ImageInShortFormIsLengthenedBeforeTheComparison) {
  m_->AddFile(kRogue);
  m_->SetShortName(u"C:\\Program Files", u"C:\\PROGRA~1");
  m_->SetShortName(u"C:\\Program Files\\Rogue Soft", u"C:\\PROGRA~1\\ROGUES~1");
  const win::DWORD pid = m_->AddProcess(u"C:\\PROGRA~1\\ROGUES~1\\rogue.exe");
  EXPECT_EQ(Kill(kRogue), 1);
  EXPECT_FALSE(m_->IsRunning(pid));
}

TEST_F(KillProcessTest, EveryInstanceEndsAndTheVariableTargetIsUsed) {
  const win::DWORD first = StartProgram(*m_, kRogue);
  const win::DWORD second = StartProgram(*m_, kRogue);
  definition_.SetVariable(1, u"\"" + std::u16string(kRogue) + u"\" -startup");
  KillProcess element;
  element.target = Operand::Variable(1);
  element.owner = &definition_;
  EXPECT_EQ(element.Execute(), 2);
  EXPECT_FALSE(m_->IsRunning(first));
  EXPECT_FALSE(m_->IsRunning(second));
}

TEST_F(KillProcessTest, TargetsThatNameNoProgramGiveMinusOneWithoutPause) {
  const win::DWORD pid = StartProgram(*m_, kRogue);
  for (const char16_t* target :
       {u"C:\\Program Files\\Rogue Soft\\*.exe", u"C:\\Rogue\\rog?e.exe",
        u"\"C:\\Program Files\\Rogue Soft\\rogue.exe", u"\"", u"%ProgramFiles%\\*"}) {
    SCOPED_TRACE(ToUtf8(target));
    m_->ResetCallLog();
    EXPECT_EQ(Kill(target), -1);
    EXPECT_EQ(m_->CallCount("CreateToolhelp32Snapshot"), 0u);
    EXPECT_EQ(m_->CallCount("OpenProcessToken"), 0u);
  }
  EXPECT_TRUE(m_->Sleeps().empty());
  EXPECT_TRUE(m_->IsRunning(pid));
}

TEST_F(KillProcessTest, EmptySlotRaisesBeforeAnythingHappens) {
  KillProcess element;
  element.target = Operand::Variable(0);
  element.owner = &definition_;
  m_->ResetCallLog();
  EXPECT_THROW(element.Execute(), EmptySlotError);
  EXPECT_EQ(m_->TotalCalls(), 0u);
}

TEST_F(KillProcessTest, ProcessesThatRefuseArePassedOverAndNotCounted) {
  const win::DWORD closed = StartProgram(*m_, kRogue, {.openable = false});
  const win::DWORD unreadable = StartProgram(*m_, kRogue, {.imageReadable = false});
  const win::DWORD stubborn = StartProgram(*m_, kRogue, {.terminable = false});
  const win::DWORD plain = StartProgram(*m_, kRogue);
  EXPECT_EQ(Kill(kRogue), 1);
  EXPECT_TRUE(m_->IsRunning(closed));
  EXPECT_TRUE(m_->IsRunning(unreadable));
  EXPECT_TRUE(m_->IsRunning(stubborn));
  EXPECT_FALSE(m_->IsRunning(plain));
}

TEST_F(KillProcessTest, NeverEndsItselfOrACriticalProcess) {
  // A target taken from a rogue's registry value may name anything.
  m_->SetSelf(4242, u"C:\\Tools\\quenwick.exe");
  const win::DWORD critical =
      StartProgram(*m_, u"C:\\Windows\\System32\\fake-critical.exe", {.critical = true});
  EXPECT_EQ(Kill(u"C:\\Tools\\quenwick.exe"), 0);
  EXPECT_EQ(Kill(u"C:\\Windows\\System32\\fake-critical.exe"), 0);
  EXPECT_TRUE(m_->IsRunning(critical));
}

TEST_F(KillProcessTest, WalkMakesItsCallsInOrderAndPausesOnce) {
  const win::DWORD pid = StartProgram(*m_, kRogue);
  m_->ResetCallLog();
  EXPECT_EQ(Kill(kRogue), 1);
  EXPECT_FALSE(m_->IsRunning(pid));
  // Snapshot, then the privilege, then the first process is opened.
  const std::size_t snapshot = LogIndex("CreateToolhelp32Snapshot(");
  const std::size_t adjust = LogIndex("AdjustTokenPrivileges(");
  const std::size_t open = LogIndex("OpenProcess(");
  EXPECT_LT(snapshot, adjust);
  EXPECT_LT(adjust, open);
  EXPECT_LT(open, m_->CallLog().size());
  EXPECT_NE(m_->CallLog()[open].find("0x411"), std::string::npos) << m_->CallLog()[open];
  EXPECT_EQ(m_->CallCount("AdjustTokenPrivileges"), 1u);
  EXPECT_EQ(m_->CallCount("Process32FirstW"), 1u);
  EXPECT_EQ(m_->Sleeps(), std::vector<win::DWORD>{500});
  const std::size_t sleep = LogIndex("Sleep(");
  EXPECT_EQ(sleep, m_->CallLog().size() - 1) << "the pause comes last";
}

}  // namespace
}  // namespace quenwick
