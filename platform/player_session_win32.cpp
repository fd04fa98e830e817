// The player's machine on Windows: the player is the user of the desktop shell's process (its
// token names the account, even when the updater was elevated with another one); the player's
// folders and drive mappings are read from the player's own registry hive under HKEY_USERS.
#include <windows.h>

#include <sddl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "platform/player_session.h"

namespace {

constexpr size_t kSidRoom = 192;
constexpr size_t kValueRoom = MAX_PATH;

// The account of a token as SID text ("S-1-5-21-..."), into sid (kSidRoom bytes).
bool sid_of(HANDLE token, char* sid) {
  alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD length = 0;
  if (!GetTokenInformation(token, TokenUser, user, sizeof user, &length)) return false;
  char* text = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) return false;
  const size_t textLength = strlen(text);
  const bool fits = textLength < kSidRoom;
  if (fits) memcpy(sid, text, textLength + 1);
  LocalFree(text);
  return fits;
}

// The player's SID: the desktop shell's account, or this process's own where there is no shell
// to ask (no desktop, or its process out of reach).
bool player_sid(char* sid) {
  DWORD shellProcess = 0;
  const HWND shell = GetShellWindow();
  if (shell != nullptr) GetWindowThreadProcessId(shell, &shellProcess);
  if (shellProcess != 0) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcess);
    HANDLE token = nullptr;
    if (process != nullptr && OpenProcessToken(process, TOKEN_QUERY, &token)) {
      const bool found = sid_of(token, sid);
      CloseHandle(token);
      CloseHandle(process);
      if (found) return true;
    } else if (process != nullptr) {
      CloseHandle(process);
    }
  }
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return false;
  const bool found = sid_of(own, sid);
  CloseHandle(own);
  return found;
}

// A text value of a registry key, into value (kValueRoom bytes), with its type.
bool read_text(HKEY root, const char* key, const char* name, char* value, DWORD* type) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
  DWORD size = kValueRoom - 1;
  const LONG read =
      RegQueryValueExA(opened, name, nullptr, type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(opened);
  if (read != ERROR_SUCCESS || (*type != REG_SZ && *type != REG_EXPAND_SZ)) return false;
  value[size < kValueRoom ? size : kValueRoom - 1] = '\0';
  return value[0] != '\0';
}

// Copies text whole into buffer: its length, or 0 with buffer emptied.
size_t copy_whole(const char* text, char* buffer, size_t room) {
  const size_t length = strlen(text);
  if (length == 0 || length >= room) {
    buffer[0] = '\0';
    return 0;
  }
  memcpy(buffer, text, length + 1);
  return length;
}

// The player's local application data folder from the player's hive: the shell folder value,
// whose %USERPROFILE% is the player's profile folder (not this process's), the rest of its
// variables the machine's.
bool player_local_app_data(const char* sid, char* folder) {
  char key[kSidRoom + 96];
  snprintf(key, sizeof key,
           "%s\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", sid);
  char value[kValueRoom];
  DWORD type = 0;
  if (!read_text(HKEY_USERS, key, "Local AppData", value, &type)) return false;
  char unexpanded[kValueRoom];
  static const char kProfile[] = "%USERPROFILE%";
  if (type == REG_EXPAND_SZ && _strnicmp(value, kProfile, sizeof kProfile - 1) == 0) {
    snprintf(key, sizeof key, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\%s",
             sid);
    char profile[kValueRoom];
    DWORD profileType = 0;
    if (!read_text(HKEY_LOCAL_MACHINE, key, "ProfileImagePath", profile, &profileType)) {
      return false;
    }
    const int n = snprintf(unexpanded, sizeof unexpanded, "%s%s", profile,
                           value + sizeof kProfile - 1);
    if (n < 0 || size_t(n) >= sizeof unexpanded) return false;
  } else {
    memcpy(unexpanded, value, sizeof unexpanded);
  }
  const DWORD length = ExpandEnvironmentStringsA(unexpanded, folder, kValueRoom);
  return length != 0 && length <= kValueRoom && strchr(folder, '%') == nullptr;
}

}  // namespace

size_t PlayerVirtualStore(char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  buffer[0] = '\0';
  char sid[kSidRoom];
  char local[kValueRoom];
  bool found = player_sid(sid) && player_local_app_data(sid, local);
  // The hive says nothing: this process's own folder, which is the player's when the player
  // elevated the updater with the same account.
  if (!found) found = SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr,
                                                 SHGFP_TYPE_CURRENT, local));
  if (!found) return 0;
  char store[kValueRoom + 16];
  const size_t length = strlen(local);
  const bool slash = length != 0 && local[length - 1] == '\\';
  snprintf(store, sizeof store, "%s%sVirtualStore", local, slash ? "" : "\\");
  return copy_whole(store, buffer, room);
}

size_t PlayerDriveShare(char letter, char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  buffer[0] = '\0';
  const char upper = (letter >= 'a' && letter <= 'z') ? char(letter - 'a' + 'A') : letter;
  if (upper < 'A' || upper > 'Z') return 0;
  const char root[] = {upper, ':', '\\', '\0'};
  if (GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR) return 0;  // the letter is this process's own
  char sid[kSidRoom];
  if (!player_sid(sid)) return 0;
  char key[kSidRoom + 16];
  snprintf(key, sizeof key, "%s\\Network\\%c", sid, upper);
  char share[kValueRoom];
  DWORD type = 0;
  if (!read_text(HKEY_USERS, key, "RemotePath", share, &type)) return 0;
  return copy_whole(share, buffer, room);
}
