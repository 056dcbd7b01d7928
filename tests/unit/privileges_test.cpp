// Enabling token privileges and requesting the restart, on the simulated
// machine.
#include "system/privileges.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/sim/sim_machine.h"

namespace quenwick {
namespace {

bool Enabled(const sim::SimMachine& m, std::u16string_view name) {
  const auto privileges = m.EnabledPrivileges();
  return std::find(privileges.begin(), privileges.end(), name) != privileges.end();
}

class PrivilegesTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(m_->OpenHandleCount(), handlesBefore_); }
  std::unique_ptr<sim::SimMachine> m_ = sim::SimMachine::Standard();
  sim::ScopedPlatform scope_{*m_};
  std::size_t handlesBefore_ = m_->OpenHandleCount();
};

TEST_F(PrivilegesTest, KnownPrivilegeIsEnabled) {
  EXPECT_TRUE(EnablePrivilege(u"SeDebugPrivilege"));
  EXPECT_TRUE(Enabled(*m_, u"SeDebugPrivilege"));
  // Enabling it again is harmless and succeeds again.
  EXPECT_TRUE(EnablePrivilege(u"SeDebugPrivilege"));
}

// The token is closed again whatever happened (TearDown counts the handles).
TEST_F(PrivilegesTest, UnknownNameGivesFalseAndChangesNothing) {
  const auto before = m_->EnabledPrivileges();
  EXPECT_FALSE(EnablePrivilege(u"SeMadeUpPrivilege"));
  EXPECT_EQ(m_->EnabledPrivileges(), before);
}

TEST_F(PrivilegesTest, TokenThatCannotBeOpenedGivesFalse) {
  m_->FailOpenProcessToken();
  EXPECT_FALSE(EnablePrivilege(u"SeDebugPrivilege"));
  EXPECT_FALSE(Enabled(*m_, u"SeDebugPrivilege"));
}

TEST_F(PrivilegesTest, PrivilegeTheTokenLacksStillCountsAsSuccess) {
  // As for a user without administrator rights: the adjustment call succeeds
  // (assigning nothing) and that is the answer.
  m_->SetTokenPrivilege(u"SeDebugPrivilege", false);
  EXPECT_TRUE(EnablePrivilege(u"SeDebugPrivilege"));
  EXPECT_FALSE(Enabled(*m_, u"SeDebugPrivilege"));
}

TEST_F(PrivilegesTest, RestartEnablesShutdownAndAsksOnceWithoutForce) {
  RestartComputer();  // returns to its caller
  EXPECT_TRUE(Enabled(*m_, u"SeShutdownPrivilege"));
  ASSERT_EQ(m_->RestartRequests().size(), 1u);
  EXPECT_EQ(m_->RestartRequests()[0].flags, win::EWX_REBOOT);
  EXPECT_EQ(m_->RestartRequests()[0].reason, 0x40000u);
}

TEST_F(PrivilegesTest, RestartIsStillAskedForWhenThePrivilegeCannotBeEnabled) {
  // Windows then refuses the restart; the program goes on and ends normally.
  m_->FailOpenProcessToken();
  m_->ResetCallLog();
  RestartComputer();
  EXPECT_EQ(m_->CallCount("ExitWindowsEx"), 1u);
  EXPECT_TRUE(m_->RestartRequests().empty());
}

TEST(PrivilegesOnABareMachineTest, CurrentProcessTokenOpensWithoutSetup) {
  // The program's own process always exists, also on a machine with nothing
  // else set up.
  sim::SimMachine machine;
  sim::ScopedPlatform scope(machine);
  EXPECT_TRUE(EnablePrivilege(u"SeShutdownPrivilege"));
  RestartComputer();
  EXPECT_EQ(machine.RestartRequests().size(), 1u);
  EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace quenwick
