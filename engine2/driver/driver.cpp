#include "driver/driver.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "database/load_definitions.h"
#include "driver/banner.h"
#include "driver/messages.h"
#include "engine/definition.h"
#include "platform/platform.h"
#include "system/privileges.h"

namespace quenwick {
namespace {

// The removal question is formatted into a buffer of this many characters.
constexpr std::size_t kQuestionCapacity = 100;

void Print(const char* text) { Sys().WriteConsole(text); }

void PrintUsage() {
  Print(messages::kUsageLine1);
  Print(messages::kUsageLine2);
  Print(messages::kUsageLine3);
}

void PrintSummary(unsigned found, unsigned cleaned) {
  char line[96];
  std::snprintf(line, sizeof(line), "\n%d rogue applcation(s) found, %d cleaned.\n",
                static_cast<int>(found), static_cast<int>(cleaned));
  Print(line);
}

bool AskYes(const char16_t* text, const char16_t* caption, win::UINT buttons) {
  return Sys().MessageBoxW(win::HWND{}, text, caption, buttons) == win::IDYES;
}

std::u16string RemovalQuestion(unsigned found) {
  const std::string number = std::to_string(static_cast<int>(found));
  std::u16string question(number.begin(), number.end());
  question += found == 1
                  ? u" rogue application found. Would you like to remove it from computer?"
                  : u" rogue applications found. Would you like to remove them from computer?";
  if (question.size() >= kQuestionCapacity) question.resize(kQuestionCapacity - 1);
  return question;
}

void AskRestart() {
  if (AskYes(messages::kRestartText, messages::kRestartCaption, win::MB_YESNO)) RestartComputer();
}

void RunInteractive(DefinitionList& definitions) {
  if (!AskYes(messages::kScanQuestion, messages::kAppCaption, win::MB_YESNO)) return;
  Print(messages::kScanning);

  unsigned found = 0;
  for (auto& definition : definitions) {
    if (definition->Scan() == 1) {
      Sys().WriteConsoleWide(definition->name + u" found.\n");
      ++found;
    }
  }
  if (found == 0) {
    Print(messages::kNothingFound);
    Sys().MessageBoxW(win::HWND{}, messages::kDoneText, messages::kDoneCaption, win::MB_OK);
    return;
  }

  const std::u16string question = RemovalQuestion(found);
  if (!AskYes(question.c_str(), messages::kFoundCaption, win::MB_YESNO)) {
    PrintSummary(found, 0);
    return;
  }
  Sys().RunCommandInterpreter("cls");
  PrintBanner();
  Print(messages::kScanning);
  const unsigned cleaned = CleanAll(definitions);
  PrintSummary(cleaned, cleaned);
  if (cleaned != 0) AskRestart();
}

void RunUnattended(DefinitionList& definitions, int argc, const char16_t* const* argv) {
  Print(messages::kScanning);
  const unsigned cleaned = CleanAll(definitions);
  PrintSummary(cleaned, cleaned);
  if (cleaned == 0) return;
  if (argc == 2) {
    AskRestart();
  } else if (argc == 3 && EqualsIgnoreAsciiCase(argv[2], messages::kNoRestartSwitch)) {
    // "/silent /norestart": nothing after the summary.
  } else {
    PrintUsage();
  }
}

}  // namespace

int RunDriver(int argc, const char16_t* const* argv) {
  // An empty floppy, card or DVD slot must not put a "no disk" box in front
  // of an unattended run; the program reports its own failures.
  Sys().SetErrorMode(win::SEM_FAILCRITICALERRORS | win::SEM_NOOPENFILEERRORBOX);
  PrintBanner();

  LoadResult loaded = LoadDefinitions();
  if (loaded.status != LoadStatus::kOk) {
    Print(loaded.status == LoadStatus::kMemoryFailure ? messages::kNoMemory
                                                      : messages::kCorrupted);
    Sys().RunCommandInterpreter("pause");
    return -1;
  }
  DefinitionList& definitions = loaded.definitions;

  if (argc <= 1) {
    RunInteractive(definitions);
  } else if (EqualsIgnoreAsciiCase(argv[1], messages::kSilentSwitch)) {
    RunUnattended(definitions, argc, argv);
  } else {
    PrintUsage();
  }
  return 0;
}

}  // namespace quenwick
