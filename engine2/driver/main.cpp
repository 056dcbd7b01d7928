// The program's entry: the Unicode console entry point (linked with
// -municode), which puts the real machine behind Sys() and runs the driver.
#include "driver/driver.h"
#include "platform/win32/win32_platform.h"

extern "C" int wmain(int argc, wchar_t* argv[]) {
  // Static so that it outlives everything the driver tears down.
  static quenwick::Win32Platform platform;
  quenwick::InstallPlatform(&platform);
  // wchar_t is a UTF-16 unit on Windows; the text is passed as it is.
  return quenwick::RunDriver(argc, reinterpret_cast<const char16_t* const*>(argv));
}
