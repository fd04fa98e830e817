// The message pump and the common open and save dialogs (Windows only: elsewhere there is no
// windowing host, and nothing of the updater calls them), and the two text helpers they use,
// which serve on every platform.
#pragma once

#include <cstddef>

// Appends the first extension named in the filter's first description ('.txt' from
// 'Text (*.txt)': from its first '.' up to the ')' that follows, or an earlier ';' or blank)
// unless name already contains a '.'. An extension holding a wildcard ('*.*') is not added.
// room is name's buffer size. Returns 0, or -1 with name unchanged when it would not fit.
int append_filter_extension(char* name, size_t room, const char* filter);

// The string that follows text in a list of zero-terminated strings ended by an empty one;
// null when the list ends there (or text is null).
const char* next_multi_string(const char* text);

#ifdef _WIN32

#include <windows.h>
#include <commdlg.h>

// Dispatches the messages waiting in this thread's queue without waiting for more; stops at
// (and consumes) a quit message. Returns 0.
int pump_messages();

// Dialog kinds of file_dialog.
constexpr int FILE_DIALOG_OPEN = 0;
constexpr int FILE_DIALOG_SAVE = 1;
constexpr int FILE_DIALOG_OPEN_SEVERAL = 2;

// Sizes of the dialog's result and file-title buffers.
constexpr size_t FILE_DIALOG_RESULT_ROOM = 20480;
constexpr size_t FILE_DIALOG_TITLE_ROOM = 256;

// The window that owns the file dialogs (and lends them its instance); null for none.
extern HWND g_dialogOwner;

// Runs an open, save or open-several dialog. nameRecord (recordRoom bytes, may be null) holds
// the filter index in byte 0 and a file name from byte 1 on: the starting choice, and the
// user's choice afterwards; directory (directoryRoom bytes, may be null) is the starting
// folder and receives the chosen one. Returns the result buffer (valid until the next call):
// the full path, or for kind 2 the folder and the names as a list of strings ended by an
// empty one (walk it with next_multi_string). Null when the user cancels, the dialog fails,
// the kind is unknown, or the choice does not fit directory or nameRecord (both then stay
// as they were).
char* file_dialog(const char* title, const char* filter, char* directory, size_t directoryRoom,
                  char* nameRecord, size_t recordRoom, int kind, const char* templateName,
                  LPOFNHOOKPROC hook);

#endif  // _WIN32
