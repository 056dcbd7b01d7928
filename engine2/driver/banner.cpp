#include "driver/banner.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

#ifndef QUENWICK_BUILD_YEAR
#define QUENWICK_BUILD_YEAR "2026"
#endif

namespace quenwick {
namespace {

constexpr std::size_t kFrameWidth = 72;
constexpr const char kProgramTitle[] = "Quenwick";
// Title and rights text start after "***" and four blanks.
constexpr std::size_t kTextColumn = 7;

constexpr const char kStarLine[] =
    "************************************************************************\n";
static_assert(sizeof(kStarLine) - 2 == kFrameWidth);

constexpr const char kEmptyFrame[] =
    "***                                                                  ***\n";
static_assert(sizeof(kEmptyFrame) - 2 == kFrameWidth);

// The rights line; "%s" receives the four-digit build year, so the formatted
// line is two characters longer than the format and exactly fills the frame.
constexpr const char kRightsFormat[] =
    "***    Copyright (C) %s The Quenwick developers. Free software.    ***\n";
static_assert(sizeof(kRightsFormat) - 2 + 2 == kFrameWidth);

std::string TitleLine() {
  // The frame is copied into a fixed buffer and the title written over its
  // blanks without a terminator, so the line keeps its length and its
  // right-hand asterisks.
  char frame[90];
  std::memcpy(frame, kEmptyFrame, sizeof(kEmptyFrame));
  std::memcpy(frame + kTextColumn, kProgramTitle, std::strlen(kProgramTitle));
  return frame;
}

std::string RightsLine(const char* year) {
  char line[128];
  std::snprintf(line, sizeof(line), kRightsFormat, year);
  return line;
}

}  // namespace

std::string BannerText(const char* year) {
  return std::string(kStarLine) + TitleLine() + RightsLine(year) + kStarLine + "\n";
}

void PrintBanner() {
  Platform& os = Sys();
  os.WriteConsole(kStarLine);
  os.WriteConsole(TitleLine());
  os.WriteConsole(RightsLine(QUENWICK_BUILD_YEAR));
  os.WriteConsole(std::string(kStarLine) + "\n");
}

}  // namespace quenwick
