/* A stand-in for the downloaded installer: a tiny program without the C
 * runtime, so that it fits in fewer than 16385 bytes and the tests can pad it
 * to any size. It writes, as UTF-16 lines, its own command line and the value
 * "UpdateFinished" as it found it under HKEY_CURRENT_USER\<key>, into the file
 * named by HIVEMEND_FAKE_INSTALLER_LOG (the key path is taken from
 * HIVEMEND_FAKE_INSTALLER_KEY). The log appears complete or not at all. */
#include <windows.h>

static void Append(WCHAR* out, DWORD* used, DWORD capacity, const WCHAR* text) {
  while (*text && *used + 1 < capacity) out[(*used)++] = *text++;
  out[*used] = 0;
}

void __stdcall FakeInstallerEntry(void) {
  static WCHAR log_path[1024], temp_path[1040], key_path[1024], text[4096];
  DWORD used = 0;
  if (!GetEnvironmentVariableW(L"HIVEMEND_FAKE_INSTALLER_LOG", log_path, 1024)) ExitProcess(3);
  Append(text, &used, 4096, GetCommandLineW());
  Append(text, &used, 4096, L"\r\nUpdateFinished=");
  if (GetEnvironmentVariableW(L"HIVEMEND_FAKE_INSTALLER_KEY", key_path, 1024)) {
    HKEY key;
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key_path, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      if (RegQueryValueExW(key, L"UpdateFinished", NULL, &type, (BYTE*)&value, &size) == ERROR_SUCCESS &&
          type == REG_DWORD) {
        WCHAR digit[2] = {(WCHAR)(L'0' + value % 10), 0};
        Append(text, &used, 4096, digit);
      } else {
        Append(text, &used, 4096, L"absent");
      }
      RegCloseKey(key);
    } else {
      Append(text, &used, 4096, L"absent");
    }
  }
  Append(text, &used, 4096, L"\r\n");

  DWORD n = 0;
  while (log_path[n]) { temp_path[n] = log_path[n]; ++n; }
  temp_path[n++] = L'.'; temp_path[n++] = L't'; temp_path[n++] = L'm'; temp_path[n++] = L'p';
  temp_path[n] = 0;
  HANDLE file = CreateFileW(temp_path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) ExitProcess(4);
  DWORD written = 0;
  WriteFile(file, text, used * sizeof(WCHAR), &written, NULL);
  CloseHandle(file);
  MoveFileExW(temp_path, log_path, MOVEFILE_REPLACE_EXISTING);
  ExitProcess(0);
}
