/* A hidden top-level window that ends the program when the session ends.
 *
 * Before a restart carries out the deletions registered for the next start,
 * Windows (and Wine, when it has a display) asks every program with a
 * top-level window to end. The test programs take part, so that the files
 * they hold are free by then, as a real program's would be. */
#pragma once

#include <windows.h>

static LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) ExitProcess(0); /* closes every handle the program holds */
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

static inline void CreateSessionWindow(void) {
  WNDCLASSW windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.lpfnWndProc = SessionWindowProc;
  windowClass.hInstance = GetModuleHandleW(NULL);
  windowClass.lpszClassName = L"QuenwickE2eSession";
  if (RegisterClassW(&windowClass)) {
    CreateWindowW(L"QuenwickE2eSession", L"quenwick-e2e", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                  NULL, NULL, windowClass.hInstance, NULL);
  }
}

/* Waits up to `milliseconds` while answering the window's messages. */
static inline void PumpMessagesFor(DWORD milliseconds) {
  MsgWaitForMultipleObjects(0, NULL, FALSE, milliseconds, QS_ALLINPUT);
  MSG message;
  while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}
