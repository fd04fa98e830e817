// The common open and save dialogs of the file library: one call for open, save and
// open-several, with the starting folder and name record handed in and the choice handed back
// into them; the result lives in a buffer kept for the life of the process.
#include <cstdint>
#include <cstring>

#include "platform/file_dialog.h"
#include "host/host.h"
#include "host/path.h"

HWND g_dialogOwner = nullptr;

namespace {

char* g_result = nullptr;  // FILE_DIALOG_RESULT_ROOM bytes
char* g_title = nullptr;   // FILE_DIALOG_TITLE_ROOM bytes

bool buffers_ready() {
  if (g_result != nullptr) return true;
  g_result = static_cast<char*>(mem_alloc(FILE_DIALOG_RESULT_ROOM));
  g_title = static_cast<char*>(mem_alloc(FILE_DIALOG_TITLE_ROOM));
  if (g_result != nullptr && g_title != nullptr) return true;
  mem_free(g_result);
  mem_free(g_title);
  g_result = g_title = nullptr;
  return false;
}

// Filter index and starting name from the record (index 1 and no name without one).
void read_record(char* record, size_t room, DWORD* filterIndex, const char** name) {
  *filterIndex = 1;
  *name = "";
  if (record == nullptr || room < 2) return;
  if (record[0] == '\0') {
    record[1] = '\0';
    return;
  }
  *filterIndex = static_cast<uint8_t>(record[0]);
  if (strnlen(record + 1, room - 1) < room - 1) *name = record + 1;
}

// What the choice gives back: the folder for directory, the name and index for the record.
struct Choice {
  const char* folder;
  size_t folderLength;
  bool addSlash;
  const char* name;
  DWORD filterIndex;
};

// Writes the choice into directory and record when both can hold it whole; false otherwise.
bool hand_back(const Choice& c, char* directory, size_t directoryRoom, char* record,
               size_t recordRoom) {
  // The folder (terminated at its length) ends in a separator when all of it is directory part:
  // a trail byte 0x5C ends a name, not a folder.
  const bool slash = c.addSlash && c.folderLength > 0 && path_dir_length(c.folder) != c.folderLength;
  const size_t folderBytes = c.folderLength + (slash ? 1 : 0) + 1;
  const size_t nameBytes = strlen(c.name) + 1;
  if (directory != nullptr && folderBytes > directoryRoom) return false;
  if (record != nullptr && 1 + nameBytes > recordRoom) return false;
  if (directory != nullptr) {
    memmove(directory, c.folder, c.folderLength);
    if (slash) directory[c.folderLength] = '\\';
    directory[folderBytes - 1] = '\0';
  }
  if (record != nullptr) {
    record[0] = static_cast<char>(c.filterIndex > 0xFF ? 0xFF : c.filterIndex);
    memcpy(record + 1, c.name, nameBytes);
  }
  return true;
}

// After a choice of one file: the default extension, then the folder and name handed back.
bool one_file_chosen(const OPENFILENAMEA& dialog, const char* filter, char* directory,
                     size_t directoryRoom, char* record, size_t recordRoom) {
  if (append_filter_extension(g_result, FILE_DIALOG_RESULT_ROOM, filter) != 0) return false;
  // Up to and including the last separator, as path_dir_part cuts.
  const size_t folderLength = path_dir_length(g_result);
  const Choice c{g_result, folderLength, false, g_result + folderLength, dialog.nFilterIndex};
  return hand_back(c, directory, directoryRoom, record, recordRoom);
}

// Turns one chosen path into the open-several form: folder, name, then an empty string.
bool split_single(const OPENFILENAMEA& dialog) {
  const size_t length = strlen(g_result);
  const size_t cut = dialog.nFileOffset > 0 ? dialog.nFileOffset - 1u : 0;
  if (cut >= length || g_result[cut] != '\\' || length + 2 > FILE_DIALOG_RESULT_ROOM) {
    return false;
  }
  g_result[cut] = '\0';
  g_result[length + 1] = '\0';
  return true;
}

// Runs the dialog of the kind; false when it was cancelled or failed.
bool run(OPENFILENAMEA* dialog, int kind) {
  switch (kind) {
    case FILE_DIALOG_OPEN:
      dialog->Flags |= OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
      return GetOpenFileNameA(dialog) != 0;
    case FILE_DIALOG_SAVE:
      dialog->Flags |= OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
      return GetSaveFileNameA(dialog) != 0;
    case FILE_DIALOG_OPEN_SEVERAL:
      dialog->Flags |= OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
      return GetOpenFileNameA(dialog) != 0;
    default:
      return false;
  }
}

char* chosen(const OPENFILENAMEA& dialog, const char* filter, int kind, char* directory,
             size_t directoryRoom, char* record, size_t recordRoom) {
  const bool several = kind == FILE_DIALOG_OPEN_SEVERAL && dialog.nFileOffset > 0 &&
                       g_result[dialog.nFileOffset - 1] == '\0';
  if (several) {
    const char* first = next_multi_string(g_result);
    if (first == nullptr) return nullptr;
    const Choice c{g_result, strlen(g_result), true, first, dialog.nFilterIndex};
    return hand_back(c, directory, directoryRoom, record, recordRoom) ? g_result : nullptr;
  }
  if (!one_file_chosen(dialog, filter, directory, directoryRoom, record, recordRoom)) {
    return nullptr;
  }
  if (kind == FILE_DIALOG_OPEN_SEVERAL && !split_single(dialog)) return nullptr;
  return g_result;
}

}  // namespace

char* file_dialog(const char* title, const char* filter, char* directory, size_t directoryRoom,
                  char* nameRecord, size_t recordRoom, int kind, const char* templateName,
                  LPOFNHOOKPROC hook) {
  if (kind < FILE_DIALOG_OPEN || kind > FILE_DIALOG_OPEN_SEVERAL || !buffers_ready()) {
    pump_messages();
    return nullptr;
  }
  DWORD filterIndex;
  const char* name;
  read_record(nameRecord, recordRoom, &filterIndex, &name);
  if (strlen(name) >= FILE_DIALOG_RESULT_ROOM) name = "";
  memcpy(g_result, name, strlen(name) + 1);
  g_title[0] = '\0';

  OPENFILENAMEA dialog{};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // without the later fields
  dialog.hwndOwner = g_dialogOwner;
  dialog.hInstance = g_dialogOwner != nullptr
                         ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(g_dialogOwner,
                                                                         GWLP_HINSTANCE))
                         : GetModuleHandleA(nullptr);
  dialog.lpstrFilter = filter;
  dialog.nFilterIndex = filterIndex;
  dialog.lpstrFile = g_result;
  dialog.nMaxFile = FILE_DIALOG_RESULT_ROOM;
  dialog.lpstrFileTitle = g_title;
  dialog.nMaxFileTitle = FILE_DIALOG_TITLE_ROOM;
  dialog.lpstrInitialDir = directory;
  dialog.lpstrTitle = title;
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
  if (templateName != nullptr) {
    dialog.Flags |= OFN_ENABLETEMPLATE;
    dialog.lpTemplateName = templateName;
  }
  if (hook != nullptr) {
    dialog.Flags |= OFN_ENABLEHOOK;
    dialog.lpfnHook = hook;
  }

  char* result = nullptr;
  if (run(&dialog, kind)) {
    result = chosen(dialog, filter, kind, directory, directoryRoom, nameRecord, recordRoom);
  }
  pump_messages();
  return result;
}
