// The platform calls of one scan pass over a generated database of 1,000
// Definitions: each kind of precondition makes exactly its own calls, nothing
// is opened twice, and no call is made that the check does not need.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/sim/sim_machine.h"
#include "support/scan_workload.h"

namespace quenwick {
namespace {

using sim::ScopedPlatform;
using sim::SimMachine;
using testing_support::AccountedScan;
using testing_support::KindCalls;
using testing_support::KindName;
using testing_support::MakeScanDatabase;
using testing_support::PlantTraces;
using testing_support::PrepareWorkloadMachine;
using Kind = testing_support::PreconditionKind;

constexpr std::size_t kDefinitions = 1000;

// Platform calls per evaluated precondition of each kind.
void ExpectCallsPerKind(const std::map<Kind, KindCalls>& measured, const std::map<Kind, std::size_t>& want) {
  for (const auto& [kind, perCheck] : want) {
    SCOPED_TRACE(KindName(kind));
    const auto it = measured.find(kind);
    ASSERT_NE(it, measured.end());
    ASSERT_GT(it->second.evaluated, 0u);
    EXPECT_EQ(it->second.calls, perCheck * it->second.evaluated);
  }
  for (const auto& [kind, calls] : measured) {
    EXPECT_TRUE(want.count(kind)) << KindName(kind) << " ran " << calls.evaluated << " times";
  }
}

// On a clean machine every Definition stops at its first precondition.
TEST(ScanCalls, CleanMachineAsksOneQuestionPerDefinition) {
  auto machine = SimMachine::Standard();
  ScopedPlatform scope(*machine);
  PrepareWorkloadMachine(*machine);
  const auto workload = MakeScanDatabase(kDefinitions);
  ASSERT_EQ(workload.definitions.size(), kDefinitions);
  machine->SetCallLogging(false);
  machine->ResetCallLog();

  std::map<Kind, KindCalls> measured;
  EXPECT_EQ(AccountedScan(workload, *machine, measured), 0u);
  ExpectCallsPerKind(measured, {
                                   {Kind::FileExistShellFolder, 2},  // shell folder, attributes
                                   {Kind::FileExistEnvironment, 3},  // length, expansion, attributes
                                   {Kind::RegKeyExist, 1},           // a refused open closes nothing
                                   {Kind::RegValueExist, 4},         // open, two queries, close
                                   {Kind::GetRegValue, 4},
                               });
  EXPECT_EQ(machine->OpenHandleCount(), 0u);

  // Definition::Scan makes the same calls.
  const std::size_t accounted = machine->TotalCalls();
  machine->ResetCallLog();
  for (const auto& definition : workload.definitions) EXPECT_EQ(definition->Scan(), 0);
  EXPECT_EQ(machine->TotalCalls(), accounted);
  EXPECT_EQ(machine->CallCount("RegOpenKeyExW"), 200u + 200u + 200u);
  EXPECT_EQ(machine->CallCount("RegCloseKey"), 400u);
}

// With every trace present, every precondition runs.
TEST(ScanCalls, InfectedMachineRunsEveryPrecondition) {
  auto machine = SimMachine::Standard();
  ScopedPlatform scope(*machine);
  PrepareWorkloadMachine(*machine);
  PlantTraces(*machine, kDefinitions);
  const auto workload = MakeScanDatabase(kDefinitions);
  ASSERT_EQ(workload.definitions.size(), kDefinitions);
  machine->SetCallLogging(false);
  machine->ResetCallLog();

  std::map<Kind, KindCalls> measured;
  EXPECT_EQ(AccountedScan(workload, *machine, measured), kDefinitions);
  ExpectCallsPerKind(measured, {
                                   {Kind::FileExistShellFolder, 2},
                                   {Kind::FileExistEnvironment, 3},
                                   {Kind::FolderExistShellFolder, 2},
                                   {Kind::FolderExistEnvironment, 3},
                                   {Kind::FolderExistPlain, 1},
                                   {Kind::RegKeyExist, 2},  // open, close
                                   {Kind::RegValueExist, 4},
                                   {Kind::GetRegValue, 4},
                                   {Kind::ExtractPathFromCommand, 0},
                                   {Kind::StrConcat, 0},
                               });
  EXPECT_EQ(machine->OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace quenwick
