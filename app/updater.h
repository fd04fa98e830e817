// The updater's operations: start-up and its window and dialog procedures, the update
// procedure with member extraction, the game settings lookup, the install record, the game
// folder tests and the matching-member copy.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32_ui.h"

// Resources of the updater's executable.
constexpr int DIALOG_CONFIRM = 101;
constexpr int ICON_UPDATER = 102;
// The confirmation dialog's question text.
constexpr int ID_CONFIRM_TEXT = 1000;

struct ContentId;
struct UpdateOptions;
// The whole run after the platform's entry point: returns 0 on every path.
int UpdaterMain(HINSTANCE instance, HINSTANCE previousInstance, int showCommand);
// The same with command-line options: an unattended run returns its exit code, any other 0.
int UpdaterRun(HINSTANCE instance, HINSTANCE previousInstance, int showCommand,
               const UpdateOptions& options);
// Arguments refused with error: true when they asked for an unattended run (the reason then
// goes to the log they asked for, if any), false when the caller is to show the error.
bool UpdaterBadArguments(int count, const char* const* arguments, const char* error);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ConfirmDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Replaces the game's executable and update pack with the updater's own copies unless this
// update or a later one is installed; the outcome is left in updateResult.
void RunUpdate();
// Copies an archive member's packed content, inflated, to destination. 0 or -1.
int ExtractMember(const char* destination, const char* memberPath);
// The same into an open file handle (written from where it stands, flushed, left open). 0 or -1.
int ExtractMemberTo(int32_t destination, const char* memberPath);
// The same, with the content's SHA-256 written to digest (32 bytes; none taken when digest is
// null) and, where written is given, its size and CRC-32 counted on the way. 0 or -1.
int ExtractMemberHashed(int32_t destination, const char* memberPath, uint8_t* digest,
                        ContentId* written = nullptr);

// Fills gameFolder from key GAMEDIR of section INI in VELMOR.INI of the Windows folder, or of
// the player's VirtualStore copy of it (the one the game reads); when both name folders and
// they differ, the one that holds the game executable, else the copy. A drive letter only the
// player maps is taken as the share it stands for.
void LoadGameSettings();

// Adds "Update.PAK" to the name list of the install record at path, unless listed.
void AppendInstallRecord(const char* path);

// 1 when the folder holds the game executable and leaves room in a path for every name the
// update makes in it, else 0.
int GameExeExists(const char* folder);
// 1 when the disk file can be opened for reading, else 0.
int FileExists(const char* path);

// Copies every member matching pattern, inflated, into the archive mounted at '@'. 1 when at
// least one matched and all were copied, else 0.
int CopyTree(const char* pattern);
