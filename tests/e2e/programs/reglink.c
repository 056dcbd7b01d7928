/* Plants and inspects registry symbolic links, for the end-to-end tests.
 *
 *   e2e-reglink.exe create KEY TARGET
 *       Creates KEY as a link to TARGET, a native key path such as
 *       \Registry\Machine\SOFTWARE\Bystander. KEY must not exist yet.
 *   e2e-reglink.exe show KEY
 *       Opens KEY as itself (REG_OPTION_OPEN_LINK) for reading and prints one
 *       line per value ("value NAME TYPE DATA": the text of a REG_SZ,
 *       REG_EXPAND_SZ or REG_LINK value without terminating zeros, the bytes
 *       of any other in hexadecimal) and per subkey ("subkey NAME"), in the
 *       registry's order.
 *   e2e-reglink.exe delete KEY
 *       Opens KEY as itself with DELETE access and deletes it through the
 *       handle (NtDeleteKey), as the program deletes a link.
 *   e2e-reglink.exe delete-path KEY
 *       RegDeleteKeyW by path, which follows a link at the path's end.
 *
 * KEY is a full path whose root is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE
 * (or HKCU, HKLM). Lines are UTF-8 with "\n". The exit code is 0 on success
 * and otherwise the Windows error (or 2 for bad arguments). */
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

typedef LONG(NTAPI* NtDeleteKeyFunction)(HANDLE);
typedef ULONG(NTAPI* RtlNtStatusToDosErrorFunction)(LONG);

/* The value that holds a link's target. */
static const wchar_t kLinkValueName[] = L"SymbolicLinkValue";

enum { kMaxName = 256, kMaxData = 4096 };

static void PrintUtf8(const wchar_t* text, int length) {
  char buffer[kMaxData * 3 + 1];
  const int written = WideCharToMultiByte(CP_UTF8, 0, text, length, buffer,
                                          (int)sizeof buffer - 1, NULL, NULL);
  if (written > 0) fwrite(buffer, 1, (size_t)written, stdout);
}

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

static LONG Create(HKEY root, const wchar_t* subkey, const wchar_t* target) {
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

static LONG Show(HKEY root, const wchar_t* subkey) {
  HKEY key = NULL;
  LONG status = RegOpenKeyExW(root, subkey, REG_OPTION_OPEN_LINK, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return status;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxName];
    wchar_t data[kMaxData];
    DWORD nameLength = kMaxName;
    DWORD size = sizeof data;
    DWORD type = 0;
    status = RegEnumValueW(key, index, name, &nameLength, NULL, &type, (BYTE*)data, &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) goto done;
    printf("value ");
    PrintUtf8(name, (int)nameLength);
    printf(" %lu ", (unsigned long)type);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_LINK) {
      int length = (int)(size / sizeof(wchar_t));
      while (length > 0 && data[length - 1] == L'\0') --length;
      PrintUtf8(data, length);
    } else {
      for (DWORD i = 0; i < size; ++i) printf("%02x", ((const BYTE*)data)[i]);
    }
    printf("\n");
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxName];
    DWORD nameLength = kMaxName;
    status = RegEnumKeyExW(key, index, name, &nameLength, NULL, NULL, NULL, NULL);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) goto done;
    printf("subkey ");
    PrintUtf8(name, (int)nameLength);
    printf("\n");
  }
  status = ERROR_SUCCESS;
done:
  RegCloseKey(key);
  return status;
}

static LONG Delete(HKEY root, const wchar_t* subkey) {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const NtDeleteKeyFunction ntDeleteKey =
      (NtDeleteKeyFunction)(void (*)(void))GetProcAddress(ntdll, "NtDeleteKey");
  const RtlNtStatusToDosErrorFunction toDosError =
      (RtlNtStatusToDosErrorFunction)(void (*)(void))GetProcAddress(ntdll, "RtlNtStatusToDosError");
  if (ntDeleteKey == NULL || toDosError == NULL) return ERROR_INVALID_FUNCTION;
  HKEY key = NULL;
  const LONG status = RegOpenKeyExW(root, subkey, REG_OPTION_OPEN_LINK, DELETE, &key);
  if (status != ERROR_SUCCESS) return status;
  const LONG native = ntDeleteKey((HANDLE)key);
  RegCloseKey(key);
  return native >= 0 ? ERROR_SUCCESS : (LONG)toDosError(native);
}

int wmain(int argc, wchar_t** argv) {
  HKEY root = NULL;
  const wchar_t* subkey = NULL;
  if (argc < 3 || !SplitRoot(argv[2], &root, &subkey)) return 2;
  LONG status = 2;
  if (wcscmp(argv[1], L"create") == 0 && argc == 4) {
    status = Create(root, subkey, argv[3]);
  } else if (wcscmp(argv[1], L"show") == 0 && argc == 3) {
    status = Show(root, subkey);
  } else if (wcscmp(argv[1], L"delete") == 0 && argc == 3) {
    status = Delete(root, subkey);
  } else if (wcscmp(argv[1], L"delete-path") == 0 && argc == 3) {
    status = RegDeleteKeyW(root, subkey);
  }
  fflush(stdout);
  if (status != ERROR_SUCCESS) fprintf(stderr, "e2e-reglink: error %ld\n", status);
  return (int)status;
}
