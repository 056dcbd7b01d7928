// Uninstall and InnoSetupUninstall on the simulated machine: the command
// lines, the bounded waits, start failures and the release of every handle.
#include <gtest/gtest.h>

#include <string>

#include "base/utf8.h"
#include "elements/inno_setup_uninstall.h"
#include "elements/uninstall.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "platform/sim/sim_machine.h"

namespace quenwick {
namespace {

constexpr char16_t kUninstallKey[] =
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class UninstallTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(m_->OpenHandleCount(), handlesBefore_) << "a handle was left open";
  }
  std::int32_t RunUninstall(Operand program, Operand arguments) {
    Uninstall element;
    element.program = std::move(program);
    element.arguments = std::move(arguments);
    element.owner = &definition_;
    return element.Execute();
  }
  std::int32_t RunInno(std::u16string applicationKey) {
    InnoSetupUninstall element;
    element.applicationKey = Operand::Text(std::move(applicationKey));
    element.owner = &definition_;
    element.keyPrefix = kUninstallKey;
    element.valueName = u"UninstallString";
    element.arguments = u" /SILENT /NORESTART";
    return element.Execute();
  }
  void ExpectStarted(std::u16string_view application, std::u16string_view commandLine,
                     win::DWORD waited) {
    ASSERT_EQ(m_->StartedPrograms().size(), 1u);
    const sim::StartedProgram& started = m_->StartedPrograms()[0];
    EXPECT_EQ(ToUtf8(started.applicationName), ToUtf8(application));
    EXPECT_EQ(ToUtf8(started.commandLine), ToUtf8(commandLine));
    EXPECT_TRUE(started.waited);
    EXPECT_EQ(started.waitedMilliseconds, waited);
  }

  std::unique_ptr<sim::SimMachine> m_ = sim::SimMachine::Standard();
  sim::ScopedPlatform scope_{*m_};
  Definition definition_{2};
  std::size_t handlesBefore_ = m_->OpenHandleCount();
};

// --- Uninstall ---------------------------------------------------------------

TEST_F(UninstallTest, MacroProgramWithoutArgumentsEndsInOneSpace) {
  m_->AddFile(u"C:\\Program Files\\SpyKillerPro\\uninstall.exe");
  EXPECT_EQ(RunUninstall(Operand::Text(u"%programfiles%\\SpyKillerPro\\uninstall.exe"),
                         Operand::Text(u"")),
            0);
  ExpectStarted(u"C:\\Program Files\\SpyKillerPro\\uninstall.exe",
                u"\"C:\\Program Files\\SpyKillerPro\\uninstall.exe\" ", 10000);
}

TEST_F(UninstallTest, QuotedVariableProgramLosesItsQuotesAndArgumentsStayAsWritten) {
  m_->AddFile(u"C:\\Rogue\\unins000.exe");
  definition_.SetVariable(0, u"\"C:/Rogue//unins000.exe\"");
  definition_.SetVariable(1, u"/S  /D=%TEMP%//x");
  EXPECT_EQ(RunUninstall(Operand::Variable(0), Operand::Variable(1)), 0);
  ExpectStarted(u"C:\\Rogue\\unins000.exe", u"\"C:\\Rogue\\unins000.exe\" /S  /D=%TEMP%//x",
                10000);
}

TEST_F(UninstallTest, ProgramThatOutlivesTheWaitStillGivesZero) {
  m_->AddFile(u"C:\\Rogue\\slow.exe");
  m_->SetProgramBehaviour(u"C:\\Rogue\\slow.exe", {.outlivesWait = true});
  EXPECT_EQ(RunUninstall(Operand::Text(u"C:\\Rogue\\slow.exe"), Operand::Text(u"/S")), 0);
  ExpectStarted(u"C:\\Rogue\\slow.exe", u"\"C:\\Rogue\\slow.exe\" /S", 10000);
}

TEST_F(UninstallTest, StartFailuresGiveMinusOneWithoutWaiting) {
  m_->AddFile(u"C:\\Rogue\\refused.exe");
  m_->SetProgramBehaviour(u"C:\\Rogue\\refused.exe", {.failsToStart = true});
  const char16_t* programs[] = {u"C:\\Rogue\\refused.exe", u"C:\\Rogue\\missing.exe",
                                u"C:\\Rogue\\*.exe"};
  for (const char16_t* program : programs) {
    SCOPED_TRACE(ToUtf8(program));
    m_->ResetCallLog();
    EXPECT_EQ(RunUninstall(Operand::Text(program), Operand::Text(u"")), -1);
    EXPECT_EQ(m_->CallCount("CreateProcessW"), 1u);
    EXPECT_EQ(m_->CallCount("WaitForSingleObject"), 0u);
  }
}

TEST_F(UninstallTest, WildcardProgramIsStartedAsAnEmptyPath) {
  m_->ResetCallLog();
  EXPECT_EQ(RunUninstall(Operand::Text(u"C:\\Rogue\\*.exe"), Operand::Text(u"/S")), -1);
  ASSERT_EQ(m_->CallCount("CreateProcessW"), 1u);
  for (const auto& started : m_->StartedPrograms()) EXPECT_TRUE(started.applicationName.empty());
}

TEST_F(UninstallTest, EmptyArgumentsSlotRaisesBeforeAnythingStarts) {
  m_->AddFile(u"C:\\Rogue\\u.exe");
  m_->ResetCallLog();
  EXPECT_THROW(RunUninstall(Operand::Text(u"C:\\Rogue\\u.exe"), Operand::Variable(1)),
               EmptySlotError);
  EXPECT_EQ(m_->CallCount("CreateProcessW"), 0u);
}

// --- InnoSetupUninstall --------------------------------------------------------

TEST_F(UninstallTest, InnoUninstallStringIsNormalisedAndGetsTheSilentArguments) {
  m_->AddFile(u"C:\\Program Files\\Rogue\\unins000.exe");
  m_->SetString(std::u16string(kUninstallKey) + u"Rogue_is1", u"UninstallString",
                u"\"C:/Program Files//Rogue\\\\unins000.exe\"");
  EXPECT_EQ(RunInno(u"Rogue_is1"), 0);
  ExpectStarted(u"C:\\Program Files\\Rogue\\unins000.exe",
                u"\"C:\\Program Files\\Rogue\\unins000.exe\" /SILENT /NORESTART", 30000);
}

TEST_F(UninstallTest, InnoUninstallerThatOutlivesTheWaitGivesZero) {
  m_->AddFile(u"C:\\Rogue\\unins000.exe");
  m_->SetProgramBehaviour(u"C:\\Rogue\\unins000.exe", {.outlivesWait = true});
  m_->SetString(std::u16string(kUninstallKey) + u"{A4DB5709}_is1", u"UninstallString",
                u"C:\\Rogue\\unins000.exe");
  EXPECT_EQ(RunInno(u"{A4DB5709}_is1"), 0);
  ExpectStarted(u"C:\\Rogue\\unins000.exe", u"\"C:\\Rogue\\unins000.exe\" /SILENT /NORESTART",
                30000);
}

TEST_F(UninstallTest, InnoWithoutAUsableUninstallStringGivesMinusOne) {
  const std::u16string key = std::u16string(kUninstallKey) + u"Rogue_is1";
  m_->AddFile(u"C:\\Rogue\\unins000.exe");
  struct Case {
    const char* what;
    void (*plant)(sim::SimMachine&, const std::u16string&);
    bool startAttempted;
  };
  const Case cases[] = {
      {"no key", [](sim::SimMachine&, const std::u16string&) {}, false},
      {"no value", [](sim::SimMachine& m, const std::u16string& k) { m.AddKey(k); }, false},
      {"expandable string",
       [](sim::SimMachine& m, const std::u16string& k) {
         m.SetString(k, u"UninstallString", u"C:\\Rogue\\unins000.exe", win::REG_EXPAND_SZ);
       },
       false},
      {"string without data",
       [](sim::SimMachine& m, const std::u16string& k) {
         m.SetValue(k, u"UninstallString", win::REG_SZ, {});
       },
       true},
      {"quoted path with arguments",
       [](sim::SimMachine& m, const std::u16string& k) {
         m.SetString(k, u"UninstallString", u"\"C:\\Rogue\\unins000.exe\" /LOG");
       },
       true},
      {"key not writable",
       [](sim::SimMachine& m, const std::u16string& k) {
         m.SetString(k, u"UninstallString", u"C:\\Rogue\\unins000.exe");
         m.SetKeyAccess(k, {.readable = true, .writable = false});
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto m = sim::SimMachine::Standard();
    sim::ScopedPlatform scope(*m);
    const std::size_t handles = m->OpenHandleCount();
    m->AddFile(u"C:\\Rogue\\unins000.exe");
    c.plant(*m, key);
    EXPECT_EQ(RunInno(u"Rogue_is1"), -1);
    EXPECT_EQ(m->CallCount("CreateProcessW"), c.startAttempted ? 1u : 0u);
    EXPECT_EQ(m->CallCount("WaitForSingleObject"), 0u);
    EXPECT_EQ(m->OpenHandleCount(), handles);
  }
}

}  // namespace
}  // namespace quenwick
