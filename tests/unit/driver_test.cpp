// The driver's flows on the simulated machine: what is printed, which boxes
// are asked, which commands run, and the exit code.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "base/utf16le.h"
#include "base/utf8.h"
#include "driver/banner.h"
#include "driver/driver.h"
#include "platform/sim/sim_machine.h"

namespace quenwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutU32(Bytes& out, std::uint32_t v) { AppendLittleEndian(out, v, 4); }
void PutText(Bytes& out, std::u16string_view text) {
  AppendUtf16Le(out, text);
  AppendLittleEndian(out, 0, 2);
}

// A database of Definitions without preconditions or actions: each one is
// found and cleaned.
Bytes DatabaseOfNames(const std::vector<std::u16string>& names) {
  Bytes out;
  PutU32(out, static_cast<std::uint32_t>(names.size()));
  std::uint32_t id = 1;
  for (const auto& name : names) {
    PutU32(out, 0);
    PutText(out, name);
    PutText(out, FromUtf8(std::to_string(id++)));
    PutU32(out, 0);
    PutU32(out, 0);
  }
  return out;
}

Bytes Compress(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes stream(size);
  EXPECT_EQ(compress2(stream.data(), &size, data.data(), static_cast<uLong>(data.size()), 9), Z_OK);
  stream.resize(size);
  return stream;
}

Bytes Resource(const Bytes& database, std::uint32_t declared) {
  Bytes out;
  PutU32(out, declared);
  const Bytes stream = Compress(database);
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

Bytes Resource(const Bytes& database) {
  return Resource(database, static_cast<std::uint32_t>(database.size()));
}

const std::string kBanner = BannerText(QUENWICK_TEST_BUILD_YEAR);
const std::string kCorrupted = "Error: exe file corrupted, program will terminate now.\n";
const std::string kUsage =
    "\nUsage: Quenwick [/silent [/norestart]]\n\n"
    "\t/silent    scan, eventually clean and restart pc without any user interaction.\n"
    "\t/silent /norestart    scan and clean pc without user interaction but don't restart the "
    "pc.\n";

class DriverTest : public ::testing::Test {
 protected:
  DriverTest() : scope_(machine_) {}

  void InstallDatabase(const Bytes& database) {
    machine_.SetResource(u"IDR_V2", u"RT_RCDATA", Resource(database));
  }
  int Run(std::vector<std::u16string> args) {
    args.insert(args.begin(), u"quenwick.exe");
    std::vector<const char16_t*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    return RunDriver(static_cast<int>(args.size()), argv.data());
  }
  std::vector<std::u16string> BoxTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& box : machine_.MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  sim::SimMachine machine_;
  sim::ScopedPlatform scope_;
};

TEST_F(DriverTest, BannerFillsItsFrame) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = kBanner.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(kBanner.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(lines[i].size(), 72u) << lines[i];
  EXPECT_EQ(lines[0], std::string(72, '*'));
  EXPECT_EQ(lines[1], "***    Quenwick" + std::string(54, ' ') + "***");
  EXPECT_EQ(lines[2].substr(0, 7), "***    ");
  EXPECT_NE(lines[2].find(QUENWICK_TEST_BUILD_YEAR), std::string::npos);
  EXPECT_EQ(lines[2].substr(65), "    ***");
  EXPECT_EQ(lines[3], lines[0]);
  EXPECT_EQ(lines[4], "");
}

TEST_F(DriverTest, AnswerNoToTheFirstQuestionPrintsOnlyTheBanner) {
  InstallDatabase(DatabaseOfNames({u"Rogue A"}));
  machine_.QueueAnswers({win::IDNO});
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(machine_.ConsoleTranscript(), kBanner);
  ASSERT_EQ(machine_.MessageBoxes().size(), 1u);
  const auto& box = machine_.MessageBoxes()[0];
  EXPECT_EQ(box.text, u"Do you want to scan your computer for rogue software?");
  EXPECT_EQ(box.caption, u"Quenwick");
  EXPECT_EQ(box.type, win::MB_YESNO);
}

TEST_F(DriverTest, ABoxThatCannotBeShownCountsAsNo) {
  InstallDatabase(DatabaseOfNames({u"Rogue A"}));
  EXPECT_EQ(Run({}), 0);  // no answer queued: the box returns 0
  EXPECT_EQ(machine_.ConsoleTranscript(), kBanner);
}

TEST_F(DriverTest, EmptyDatabaseInteractivelyReportsNothingFound) {
  InstallDatabase(DatabaseOfNames({}));
  machine_.QueueAnswers({win::IDYES, win::IDOK});
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(machine_.ConsoleTranscript(), kBanner + "Scanning...\ndone, nothing found\n");
  ASSERT_EQ(machine_.MessageBoxes().size(), 2u);
  EXPECT_EQ(machine_.MessageBoxes()[1].text, u"Done, nothing found.");
  EXPECT_EQ(machine_.MessageBoxes()[1].caption, u"Done");
  EXPECT_EQ(machine_.MessageBoxes()[1].type, win::MB_OK);
}

TEST_F(DriverTest, RemovalQuestionIsSingularForOneAndPluralOtherwise) {
  struct Case {
    std::vector<std::u16string> names;
    std::u16string question;
  };
  const Case cases[] = {
      {{u"A"}, u"1 rogue application found. Would you like to remove it from computer?"},
      {{u"A", u"B"}, u"2 rogue applications found. Would you like to remove them from computer?"},
  };
  for (const Case& c : cases) {
    sim::SimMachine machine;
    sim::ScopedPlatform scope(machine);
    machine.SetResource(u"IDR_V2", u"RT_RCDATA", Resource(DatabaseOfNames(c.names)));
    machine.QueueAnswers({win::IDYES, win::IDNO});
    const char16_t* argv[] = {u"quenwick.exe", nullptr};
    EXPECT_EQ(RunDriver(1, argv), 0);
    ASSERT_EQ(machine.MessageBoxes().size(), 2u);
    EXPECT_EQ(machine.MessageBoxes()[1].text, c.question);
    EXPECT_EQ(machine.MessageBoxes()[1].caption, u"Rogue application found");
    EXPECT_EQ(machine.MessageBoxes()[1].type, win::MB_YESNO);
  }
}

TEST_F(DriverTest, AnswerNoToRemovalPrintsTheSummaryWithNothingCleaned) {
  InstallDatabase(DatabaseOfNames({u"A", u"B", u"C"}));
  machine_.QueueAnswers({win::IDYES, win::IDNO});
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(machine_.ConsoleTranscript(),
            kBanner + "Scanning...\nA found.\nB found.\nC found.\n"
                      "\n3 rogue applcation(s) found, 0 cleaned.\n");
  EXPECT_EQ(machine_.MessageBoxes().size(), 2u);
  EXPECT_TRUE(machine_.Commands().empty());
}

TEST_F(DriverTest, AnswerYesCleansAfterClearingTheConsoleAndOffersTheRestart) {
  InstallDatabase(DatabaseOfNames({u"A", u"B"}));
  machine_.QueueAnswers({win::IDYES, win::IDYES, win::IDNO});
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(machine_.Commands(), (std::vector<std::string>{"cls"}));
  EXPECT_EQ(machine_.ConsoleScreen(),
            kBanner + "Scanning...\nA found... cleaned\nB found... cleaned\n"
                      "\n2 rogue applcation(s) found, 2 cleaned.\n");
  ASSERT_EQ(machine_.MessageBoxes().size(), 3u);
  EXPECT_EQ(machine_.MessageBoxes()[2].text,
            u"Please restart your computer to complete the cleaning process. Do you want to "
            u"restart your computer now?");
  EXPECT_EQ(machine_.MessageBoxes()[2].caption, u"Reboot required");
  EXPECT_TRUE(machine_.RestartRequests().empty());
}

TEST_F(DriverTest, AnswerYesToRestartRequestsItAndStillEndsNormally) {
  // A machine with a process token, so that the restart privilege can be enabled.
  auto machine = sim::SimMachine::Standard();
  sim::ScopedPlatform scope(*machine);
  machine->SetResource(u"IDR_V2", u"RT_RCDATA", Resource(DatabaseOfNames({u"A"})));
  machine->QueueAnswers({win::IDYES, win::IDYES, win::IDYES});
  EXPECT_EQ(Run({}), 0);
  ASSERT_EQ(machine->RestartRequests().size(), 1u);
  EXPECT_EQ(machine->RestartRequests()[0].flags, win::EWX_REBOOT);
  EXPECT_EQ(machine->ConsoleScreen(),
            kBanner + "Scanning...\nA found... cleaned\n\n1 rogue applcation(s) found, 1 cleaned.\n");
}

TEST_F(DriverTest, SilentSwitchIgnoresLetterCase) {
  for (const char16_t* flag : {u"/silent", u"/SILENT", u"/Silent"}) {
    sim::SimMachine machine;
    sim::ScopedPlatform scope(machine);
    machine.SetResource(u"IDR_V2", u"RT_RCDATA", Resource(DatabaseOfNames({})));
    const char16_t* argv[] = {u"quenwick.exe", flag, nullptr};
    EXPECT_EQ(RunDriver(2, argv), 0);
    EXPECT_EQ(machine.ConsoleTranscript(),
              kBanner + "Scanning...\n\n0 rogue applcation(s) found, 0 cleaned.\n");
    EXPECT_TRUE(machine.MessageBoxes().empty());
    // No "no disk" box of an empty drive may stop an unattended run.
    EXPECT_EQ(machine.ErrorMode(), win::SEM_FAILCRITICALERRORS | win::SEM_NOOPENFILEERRORBOX);
  }
}

TEST_F(DriverTest, AnythingButTheSilentSwitchPrintsUsageAndScansNothing) {
  for (const char16_t* flag : {u"-silent", u"silent", u"/silentx", u"/norestart"}) {
    sim::SimMachine machine;
    sim::ScopedPlatform scope(machine);
    machine.SetResource(u"IDR_V2", u"RT_RCDATA", Resource(DatabaseOfNames({u"A"})));
    const char16_t* argv[] = {u"quenwick.exe", flag, nullptr};
    EXPECT_EQ(RunDriver(2, argv), 0);
    EXPECT_EQ(machine.ConsoleTranscript(), kBanner + kUsage);
  }
}

TEST_F(DriverTest, UnattendedFlowAfterTheSummaryDependsOnTheArguments) {
  const std::string cleaned =
      kBanner + "Scanning...\nA found... cleaned\n\n1 rogue applcation(s) found, 1 cleaned.\n";
  struct Case {
    std::vector<std::u16string> args;
    std::string console;
    std::size_t boxes;
  };
  const Case cases[] = {
      {{u"/silent"}, cleaned, 1},
      {{u"/silent", u"/norestart"}, cleaned, 0},
      {{u"/silent", u"/NoRestart"}, cleaned, 0},
      {{u"/silent", u"/bogus"}, cleaned + kUsage, 0},
      {{u"/silent", u"/norestart", u"x"}, cleaned + kUsage, 0},
  };
  for (const Case& c : cases) {
    sim::SimMachine machine;
    sim::ScopedPlatform scope(machine);
    machine.SetResource(u"IDR_V2", u"RT_RCDATA", Resource(DatabaseOfNames({u"A"})));
    std::vector<const char16_t*> argv{u"quenwick.exe"};
    for (const auto& a : c.args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    EXPECT_EQ(RunDriver(static_cast<int>(c.args.size() + 1), argv.data()), 0);
    EXPECT_EQ(machine.ConsoleTranscript(), c.console);
    EXPECT_EQ(machine.MessageBoxes().size(), c.boxes);
  }
}

TEST_F(DriverTest, NothingCleanedUnattendedAsksNothingAndPrintsNoUsage) {
  InstallDatabase(DatabaseOfNames({}));
  EXPECT_EQ(Run({u"/silent", u"/bogus"}), 0);
  EXPECT_EQ(machine_.ConsoleTranscript(),
            kBanner + "Scanning...\n\n0 rogue applcation(s) found, 0 cleaned.\n");
  EXPECT_TRUE(machine_.MessageBoxes().empty());
}

// Every damaged resource ends the run with the corruption message, "pause"
// and -1, whatever the flow would have been.
TEST_F(DriverTest, DamagedResourcesAreReportedAsCorruption) {
  const Bytes good = DatabaseOfNames({u"A", u"B"});
  Bytes truncated = Resource(good);
  truncated.resize(truncated.size() - 5);
  Bytes garbage = {0x20, 0, 0, 0, 'n', 'o', 't', ' ', 'z', 'l', 'i', 'b', 0xFF, 0x00};
  Bytes countTooLarge = good;
  countTooLarge[0] = 3;  // three records announced, two present
  Bytes hugeCount = good;
  hugeCount[0] = hugeCount[1] = hugeCount[2] = hugeCount[3] = 0xFF;
  Bytes recordPastEnd = good;
  recordPastEnd.resize(recordPastEnd.size() - 3);

  struct Case {
    const char* what;
    Bytes resource;
  };
  const Case cases[] = {
      {"truncated stream", truncated},
      {"garbage", garbage},
      {"declared size 0", Resource(good, 0)},
      {"declared size too small", Resource(good, static_cast<std::uint32_t>(good.size() - 1))},
      {"count the data cannot hold", Resource(countTooLarge)},
      {"count whose list size overflows", Resource(hugeCount)},
      {"record past the end", Resource(recordPastEnd)},
      {"shorter than the declared size field", {1, 0, 0}},
      {"declared size only", {8, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimMachine machine;
    sim::ScopedPlatform scope(machine);
    machine.SetResource(u"IDR_V2", u"RT_RCDATA", c.resource);
    const char16_t* argv[] = {u"quenwick.exe", u"/silent", nullptr};
    EXPECT_EQ(RunDriver(2, argv), -1);
    EXPECT_EQ(machine.ConsoleTranscript(), kBanner + kCorrupted);
    EXPECT_EQ(machine.Commands(), (std::vector<std::string>{"pause"}));
    EXPECT_TRUE(machine.MessageBoxes().empty());
  }
}

TEST_F(DriverTest, DeclaredSizeLargerThanTheDataIsHarmless) {
  const Bytes good = DatabaseOfNames({u"A"});
  machine_.SetResource(u"IDR_V2", u"RT_RCDATA",
                       Resource(good, static_cast<std::uint32_t>(good.size() + 5000)));
  EXPECT_EQ(Run({u"/silent", u"/norestart"}), 0);
  EXPECT_EQ(machine_.ConsoleTranscript(),
            kBanner + "Scanning...\nA found... cleaned\n\n1 rogue applcation(s) found, 1 cleaned.\n");
}

TEST_F(DriverTest, FillerAfterTheLastRecordIsIgnored) {
  Bytes database = DatabaseOfNames({u"A"});
  database.insert(database.end(), 2154, 0xCD);
  InstallDatabase(database);
  EXPECT_EQ(Run({u"/silent", u"/norestart"}), 0);
  EXPECT_EQ(machine_.ConsoleTranscript(),
            kBanner + "Scanning...\nA found... cleaned\n\n1 rogue applcation(s) found, 1 cleaned.\n");
}

TEST_F(DriverTest, MissingOrUnusableResourceIsReportedAsCorruption) {
  const Bytes resource = Resource(DatabaseOfNames({u"A"}));
  struct Case {
    const char* what;
    std::function<void(sim::SimMachine&)> prepare;
  };
  const Case cases[] = {
      {"no resource", [](sim::SimMachine&) {}},
      {"numeric data type", [&](sim::SimMachine& m) {
         m.SetResourceWithNumericType(u"IDR_V2", 10, resource);
       }},
      {"not loadable", [&](sim::SimMachine& m) {
         m.SetResource(u"IDR_V2", u"RT_RCDATA", resource);
         m.FailLoadResource();
       }},
      {"not lockable", [&](sim::SimMachine& m) {
         m.SetResource(u"IDR_V2", u"RT_RCDATA", resource);
         m.FailLockResource();
       }},
      {"empty", [](sim::SimMachine& m) { m.SetResource(u"IDR_V2", u"RT_RCDATA", {}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimMachine machine;
    sim::ScopedPlatform scope(machine);
    c.prepare(machine);
    const char16_t* argv[] = {u"quenwick.exe", nullptr};
    EXPECT_EQ(RunDriver(1, argv), -1);
    EXPECT_EQ(machine.ConsoleTranscript(), kBanner + kCorrupted);
    EXPECT_EQ(machine.Commands(), (std::vector<std::string>{"pause"}));
  }
}

}  // namespace
}  // namespace quenwick
