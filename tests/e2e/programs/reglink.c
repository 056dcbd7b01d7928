/* Plants a registry symbolic link, for the end-to-end tests.
 *
 *   e2e-reglink.exe KEY TARGET
 *
 * Creates KEY as a link to TARGET, a native key path such as
 * \Registry\Machine\SOFTWARE\Bystander. KEY is a full path whose root is
 * HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE (or HKCU, HKLM) and must not exist
 * yet. The exit code is 0 on success and otherwise the Windows error (2 for
 * bad arguments). */
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

/* The value that holds a link's target. */
static const wchar_t kLinkValueName[] = L"SymbolicLinkValue";

static int SplitRoot(const wchar_t* path, HKEY* root, const wchar_t** subkey) {
  static const struct {
    const wchar_t* name;
    HKEY root;
  } kRoots[] = {
      {L"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER},
      {L"HKCU\\", HKEY_CURRENT_USER},
      {L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
      {L"HKLM\\", HKEY_LOCAL_MACHINE},
  };
  for (size_t i = 0; i < sizeof kRoots / sizeof kRoots[0]; ++i) {
    const size_t length = wcslen(kRoots[i].name);
    if (_wcsnicmp(path, kRoots[i].name, length) == 0 && path[length] != L'\0') {
      *root = kRoots[i].root;
      *subkey = path + length;
      return 1;
    }
  }
  return 0;
}

static LONG CreateLink(HKEY root, const wchar_t* subkey, const wchar_t* target) {
  HKEY key = NULL;
  DWORD disposition = 0;
  LONG status = RegCreateKeyExW(root, subkey, 0, NULL, REG_OPTION_CREATE_LINK,
                                KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &key, &disposition);
  if (status != ERROR_SUCCESS) return status;
  if (disposition != REG_CREATED_NEW_KEY) {
    RegCloseKey(key);
    return ERROR_ALREADY_EXISTS;
  }
  /* The target is stored without a terminating zero. */
  status = RegSetValueExW(key, kLinkValueName, 0, REG_LINK, (const BYTE*)target,
                          (DWORD)(wcslen(target) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}

int wmain(int argc, wchar_t** argv) {
  HKEY root = NULL;
  const wchar_t* subkey = NULL;
  if (argc != 3 || !SplitRoot(argv[1], &root, &subkey)) return 2;
  const LONG status = CreateLink(root, subkey, argv[2]);
  if (status != ERROR_SUCCESS) fprintf(stderr, "e2e-reglink: error %ld\n", status);
  return (int)status;
}
