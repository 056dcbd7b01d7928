/* A stand-in for a running rogue program, for the end-to-end tests.
 *
 *   rogue.exe HELD_FILE READY_FILE [RELEASE_FILE]
 *
 * Opens HELD_FILE (creating it) for reading and writing without sharing, so
 * that nobody else can delete it while this program runs, then writes its
 * process id into READY_FILE and keeps running. It ends when RELEASE_FILE
 * appears, when it is terminated, when the session ends (a restart asks every
 * program with a window to end, as Windows does before it carries out the
 * deletions registered for the next start), or after kMaxLifetimeMs at the
 * latest, so that a failed test never leaves it behind. */
#include <windows.h>

#include <stdio.h>

#include "session_window.h"

enum { kPollMs = 100, kMaxLifetimeMs = 180000 };

static void WriteProcessId(const wchar_t* path) {
  HANDLE ready = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
  if (ready == INVALID_HANDLE_VALUE) return;
  char text[32];
  const int length = snprintf(text, sizeof text, "%lu\n", (unsigned long)GetCurrentProcessId());
  DWORD written = 0;
  WriteFile(ready, text, (DWORD)length, &written, NULL);
  CloseHandle(ready);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  HANDLE held = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (held == INVALID_HANDLE_VALUE) return 3;
  CreateSessionWindow();
  WriteProcessId(argv[2]);

  for (DWORD waited = 0; waited < kMaxLifetimeMs; waited += kPollMs) {
    if (argc > 3 && GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES) break;
    PumpMessagesFor(kPollMs);
  }
  CloseHandle(held);
  return 0;
}
