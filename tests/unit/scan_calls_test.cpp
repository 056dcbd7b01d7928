// One scan pass over a generated database of 1,000 Definitions: every kind
// of precondition runs, what is planted is found, and no handle stays open.
// How many calls each kind makes is the scan benchmark's to report.
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

// Every kind of precondition in `kinds` ran, and no other.
void ExpectKindsRan(const std::map<Kind, KindCalls>& measured, std::initializer_list<Kind> kinds) {
  for (const Kind kind : kinds) {
    const auto it = measured.find(kind);
    EXPECT_TRUE(it != measured.end() && it->second.evaluated > 0) << KindName(kind);
  }
  EXPECT_EQ(measured.size(), kinds.size());
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
  ExpectKindsRan(measured, {Kind::FileExistShellFolder, Kind::FileExistEnvironment, Kind::RegKeyExist,
                            Kind::RegValueExist, Kind::GetRegValue});
  EXPECT_EQ(machine->OpenHandleCount(), 0u);

  // Definition::Scan finds the same.
  for (const auto& definition : workload.definitions) EXPECT_EQ(definition->Scan(), 0);
  EXPECT_EQ(machine->OpenHandleCount(), 0u);
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
  ExpectKindsRan(measured, {Kind::FileExistShellFolder, Kind::FileExistEnvironment, Kind::FolderExistShellFolder,
                            Kind::FolderExistEnvironment, Kind::FolderExistPlain, Kind::RegKeyExist,
                            Kind::RegValueExist, Kind::GetRegValue, Kind::ExtractPathFromCommand,
                            Kind::StrConcat});
  EXPECT_EQ(machine->OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace quenwick
