// Works another process's windows from outside, as a user would: starts the program, waits
// for its dialogs and message boxes, reads their texts through the wide calls, and presses
// their buttons. Waits end after a timeout so a missing window fails a test instead of hanging.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// How long a window or a process end is waited for.
constexpr DWORD WAIT_MS = 30000;

// The windows the updater shows.
enum class WindowKind { Other, Confirmation, Message, FolderBrowser };

// A started program; ended by force if it is still running when the object goes.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Starts exe (a Windows path) with the given arguments in folder dir; suspended, it runs
  // only once resume() is called.
  bool start(const std::string& exe, const std::string& arguments = "",
             const std::string& dir = "", bool suspended = false);
  bool resume();
  DWORD id() const { return id_; }
  HANDLE handle() const { return process_; }
  bool running() const;
  // Waits for the end; true with the exit code when it ended within WAIT_MS.
  bool wait_end(DWORD* exitCode);

 private:
  HANDLE process_ = nullptr;
  HANDLE suspendedThread_ = nullptr;
  DWORD id_ = 0;
};

// Every top-level window one process makes or shows, seen through a window-event hook set
// before the process runs: a window made and gone between two looks is still counted. The events arrive
// through this thread's messages, which pause() and the waits below pump.
class ShownWindows {
 public:
  explicit ShownWindows(DWORD processId);
  ~ShownWindows();
  ShownWindows(const ShownWindows&) = delete;
  ShownWindows& operator=(const ShownWindows&) = delete;

  bool hooked() const { return hook_ != nullptr; }
  int count() const;

 private:
  HWINEVENTHOOK hook_ = nullptr;
};

// Waits ms milliseconds, handing on this thread's messages meanwhile.
void pause(DWORD ms);
// Waits for the program's end, handing on messages; false when it runs on past WAIT_MS.
bool wait_end_pumping(const Program& program);

// The visible top-level windows of a process.
std::vector<HWND> windows_of(DWORD processId);
WindowKind kind_of(HWND window);
// The first visible window of the kind that the program shows, waited for; null when the
// program ends first or nothing comes within WAIT_MS.
HWND wait_window(const Program& program, WindowKind kind);

std::wstring window_text(HWND window);
std::wstring item_text(HWND dialog, int id);
// The texts of every child window, in order.
std::vector<std::wstring> child_texts(HWND window);

// Presses a dialog's button as a click does (BM_CLICK, posted: the press may open a modal
// loop of its own). False when the dialog has no such button.
bool press(HWND dialog, int id);
// Waits until the window is gone; false when it is still there after WAIT_MS.
bool wait_gone(HWND window);
