// The banner printed at start and again after the console is cleared.
#pragma once

#include <string>

namespace quenwick {

// The four banner lines as they are written, the last one followed by an
// empty line. `year` fills the rights line.
std::string BannerText(const char* year);

// Writes the banner with the build year.
void PrintBanner();

}  // namespace quenwick
