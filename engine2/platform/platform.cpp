#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace quenwick {
namespace {
Platform* g_platform = nullptr;
}  // namespace

Platform& Sys() {
  if (g_platform == nullptr) {
    // A programming error, not a runtime condition: every entry point installs
    // its platform before anything else runs.
    std::fputs("quenwick: no platform installed\n", stderr);
    std::abort();
  }
  return *g_platform;
}

Platform* InstallPlatform(Platform* platform) {
  Platform* previous = g_platform;
  g_platform = platform;
  return previous;
}

}  // namespace quenwick
