// Every text the driver shows, in one place.
#pragma once

namespace quenwick::messages {

inline constexpr char kScanning[] = "Scanning...\n";
inline constexpr char kNothingFound[] = "done, nothing found\n";
inline constexpr char kCorrupted[] = "Error: exe file corrupted, program will terminate now.\n";
inline constexpr char kNoMemory[] = "Error: memory allocation error, program will terminate now.\n";
inline constexpr char kUsageLine1[] = "\nUsage: Quenwick [/silent [/norestart]]\n\n";
inline constexpr char kUsageLine2[] =
    "\t/silent    scan, eventually clean and restart pc without any user interaction.\n";
inline constexpr char kUsageLine3[] =
    "\t/silent /norestart    scan and clean pc without user interaction but don't restart the "
    "pc.\n";

inline constexpr char16_t kAppCaption[] = u"Quenwick";
inline constexpr char16_t kScanQuestion[] = u"Do you want to scan your computer for rogue software?";
inline constexpr char16_t kDoneText[] = u"Done, nothing found.";
inline constexpr char16_t kDoneCaption[] = u"Done";
inline constexpr char16_t kFoundCaption[] = u"Rogue application found";
inline constexpr char16_t kRestartText[] =
    u"Please restart your computer to complete the cleaning process. Do you want to restart your "
    u"computer now?";
inline constexpr char16_t kRestartCaption[] = u"Reboot required";

inline constexpr char16_t kSilentSwitch[] = u"/SILENT";
inline constexpr char16_t kNoRestartSwitch[] = u"/NORESTART";

}  // namespace quenwick::messages
