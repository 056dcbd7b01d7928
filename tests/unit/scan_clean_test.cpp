// Scan and Clean of a Definition: the order of evaluation, the guards that
// contain failures, and the lines Clean prints.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/definition.h"
#include "engine/operand.h"
#include "platform/sim/sim_machine.h"

namespace quenwick {
namespace {

// A precondition that reports a fixed result (or runs a behaviour) and
// records that it ran.
class ScriptedCheck final : public Precondition {
 public:
  ScriptedCheck(std::vector<std::string>& log, std::string label, std::function<std::int32_t()> run)
      : log_(log), label_(std::move(label)), run_(std::move(run)) {}
  std::int32_t Check() override {
    log_.push_back(label_);
    return run_();
  }
  void Serialize(std::uint8_t*, std::uint32_t& size) const override { size = 0; }

 private:
  std::vector<std::string>& log_;
  std::string label_;
  std::function<std::int32_t()> run_;
};

class ScriptedAction final : public Action {
 public:
  ScriptedAction(std::vector<std::string>& log, std::string label, std::function<void()> run)
      : log_(log), label_(std::move(label)), run_(std::move(run)) {}
  std::int32_t Execute() override {
    log_.push_back(label_);
    run_();
    return 0;
  }
  void Serialize(std::uint8_t*, std::uint32_t& size) const override { size = 0; }

 private:
  std::vector<std::string>& log_;
  std::string label_;
  std::function<void()> run_;
};

class ScanCleanTest : public ::testing::Test {
 protected:
  ScanCleanTest() : scope_(machine_) { definition_.name = u"Rogue Demo"; }

  void AddCheck(std::string label, std::function<std::int32_t()> run) {
    definition_.preconditions.push_back(
        std::make_unique<ScriptedCheck>(log_, std::move(label), std::move(run)));
  }
  void AddAction(std::string label, std::function<void()> run = [] {}) {
    definition_.actions.push_back(
        std::make_unique<ScriptedAction>(log_, std::move(label), std::move(run)));
  }
  std::function<void()> ReadSlot(std::uint32_t slot) {
    return [this, slot] { OperandText(Operand::Variable(slot), definition_); };
  }

  sim::SimMachine machine_;
  sim::ScopedPlatform scope_;
  Definition definition_{2};
  std::vector<std::string> log_;
};

TEST_F(ScanCleanTest, DefinitionWithoutPreconditionsIsFoundAndCleaned) {
  AddAction("a1");
  AddAction("a2");
  EXPECT_EQ(definition_.Scan(), 1);
  EXPECT_TRUE(definition_.Clean());
  EXPECT_EQ(log_, (std::vector<std::string>{"a1", "a2"}));
  EXPECT_EQ(machine_.ConsoleTranscript(), "Rogue Demo found... cleaned\n");
}

TEST_F(ScanCleanTest, ScanStopsAtFirstResultOtherThanOneAndReportsIt) {
  struct Case {
    std::vector<std::int32_t> results;
    std::int32_t scan;
    std::size_t called;
  };
  const Case cases[] = {
      {{1, 0, 1}, 0, 2},
      {{1, 2}, 2, 2},
      {{-7, 1}, -7, 1},
      {{1, 1, 1}, 1, 3},
  };
  for (const Case& c : cases) {
    Definition definition(0);
    std::vector<std::string> log;
    for (std::size_t i = 0; i < c.results.size(); ++i) {
      const std::int32_t r = c.results[i];
      definition.preconditions.push_back(
          std::make_unique<ScriptedCheck>(log, "p" + std::to_string(i), [r] { return r; }));
    }
    EXPECT_EQ(definition.Scan(), c.scan);
    EXPECT_EQ(log.size(), c.called);
  }
}

TEST_F(ScanCleanTest, CleanRunsNothingAndPrintsNothingWhenScanIsNotExactlyOne) {
  AddCheck("p", [] { return 2; });
  AddAction("a");
  EXPECT_FALSE(definition_.Clean());
  EXPECT_EQ(log_, (std::vector<std::string>{"p"}));
  EXPECT_EQ(machine_.ConsoleTranscript(), "");
}

TEST_F(ScanCleanTest, EmptySlotInPreconditionMakesScanReportMinusOne) {
  AddCheck("reads-empty", [this] {
    ReadSlot(0)();
    return 1;
  });
  AddCheck("never", [] { return 1; });
  EXPECT_EQ(definition_.Scan(), -1);
  EXPECT_FALSE(definition_.Clean());
  EXPECT_EQ(log_, (std::vector<std::string>{"reads-empty", "reads-empty"}));
  EXPECT_EQ(machine_.ConsoleTranscript(), "");
}

TEST_F(ScanCleanTest, AnyFailureRaisedByACheckIsContained) {
  AddCheck("throws", []() -> std::int32_t { throw std::runtime_error("boom"); });
  EXPECT_EQ(definition_.Scan(), -1);
}

TEST_F(ScanCleanTest, FailingActionIsSkippedAndTheOthersStillRun) {
  AddAction("a1");
  AddAction("reads-empty", ReadSlot(1));
  AddAction("throws", [] { throw std::bad_alloc(); });
  AddAction("a4");
  EXPECT_TRUE(definition_.Clean());
  EXPECT_EQ(log_, (std::vector<std::string>{"a1", "reads-empty", "throws", "a4"}));
  EXPECT_EQ(machine_.ConsoleTranscript(), "Rogue Demo found... cleaned\n");
}

TEST_F(ScanCleanTest, SlotsKeepTheirTextsBetweenPassesUntilOverwritten) {
  bool present = true;
  AddCheck("assign", [this, &present] {
    definition_.SetVariable(0, present ? std::optional<std::u16string>(u"C:\\rogue.exe")
                                       : std::nullopt);
    return present ? 1 : 0;
  });
  AddCheck("use", [this] { return OperandText(Operand::Variable(0), definition_).empty() ? 0 : 1; });
  EXPECT_EQ(definition_.Scan(), 1);
  ASSERT_NE(definition_.variables.Get(0), nullptr);
  EXPECT_EQ(*definition_.variables.Get(0), u"C:\\rogue.exe");

  // The rogue is gone by the clean pass: the assignment empties its slot and
  // the Definition is no longer found.
  present = false;
  EXPECT_FALSE(definition_.Clean());
  EXPECT_EQ(definition_.variables.Get(0), nullptr);
}

TEST_F(ScanCleanTest, WritingASlotThatDoesNotExistIsAContainedFailure) {
  AddCheck("bad-index", [this] {
    definition_.SetVariable(7, u"x");
    return 1;
  });
  EXPECT_EQ(definition_.Scan(), -1);
}

TEST_F(ScanCleanTest, NonAsciiNamesArePrintedAsUtf8) {
  definition_.name = u"Antivirus \u00c9dition \u4e2d";
  EXPECT_TRUE(definition_.Clean());
  EXPECT_EQ(machine_.ConsoleTranscript(), "Antivirus \xc3\x89" "dition \xe4\xb8\xad found... cleaned\n");
}

}  // namespace
}  // namespace quenwick
