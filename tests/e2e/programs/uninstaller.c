/* A stand-in for a rogue's uninstaller, for the end-to-end tests.
 *
 * Appends two lines to C:\e2e-records\<its own file name>.txt: its own
 * executable path and the command line it was started with (UTF-8), then
 * ends. Built twice: the slow variant (QUENWICK_SLOW_UNINSTALLER) then keeps
 * running for kSlowLifetimeMs, longer than the program waits for it (or until
 * the session ends). */
#include <windows.h>

#include <string.h>
#include <wchar.h>

#include "session_window.h"

#ifdef QUENWICK_SLOW_UNINSTALLER
enum { kSlowLifetimeMs = 15000, kPollMs = 100 };
#endif

static const wchar_t kRecordFolder[] = L"C:\\e2e-records";

static void WriteUtf8Line(HANDLE file, const wchar_t* text) {
  char buffer[8192];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, (int)sizeof buffer - 1, NULL, NULL);
  if (length <= 0) return;
  buffer[length - 1] = '\n'; /* replaces the terminator */
  DWORD written = 0;
  WriteFile(file, buffer, (DWORD)length, &written, NULL);
}

int wmain(void) {
  wchar_t self[MAX_PATH * 4];
  const DWORD selfLength = GetModuleFileNameW(NULL, self, MAX_PATH * 4);
  if (selfLength == 0 || selfLength >= MAX_PATH * 4) return 2;
  const wchar_t* name = wcsrchr(self, L'\\');
  name = name ? name + 1 : self;

  wchar_t recordPath[MAX_PATH * 4];
  if (wcslen(kRecordFolder) + wcslen(name) + 6 >= MAX_PATH * 4) return 2;
  wcscpy(recordPath, kRecordFolder);
  wcscat(recordPath, L"\\");
  wcscat(recordPath, name);
  wcscat(recordPath, L".txt");

  CreateDirectoryW(kRecordFolder, NULL);
  HANDLE record = CreateFileW(recordPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
  if (record == INVALID_HANDLE_VALUE) return 3;
  WriteUtf8Line(record, self);
  WriteUtf8Line(record, GetCommandLineW());
  CloseHandle(record);
#ifdef QUENWICK_SLOW_UNINSTALLER
  CreateSessionWindow();
  for (DWORD waited = 0; waited < kSlowLifetimeMs; waited += kPollMs) PumpMessagesFor(kPollMs);
#endif
  return 0;
}
