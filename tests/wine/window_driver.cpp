// The outside view of another program's windows: start and end of the program, its visible
// top-level windows told apart by their controls, texts read and buttons pressed.
#include "window_driver.h"

#include <cwchar>
#include <map>

namespace {

constexpr DWORD POLL_MS = 50;
// The static control that holds a message box's text.
constexpr int MESSAGE_TEXT_ID = 0xFFFF;
constexpr int CONFIRM_TEXT_ID = 1000;

struct Search {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

BOOL CALLBACK collect_child(HWND window, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

std::wstring class_of(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

bool has_child_of_class(HWND window, const wchar_t* className) {
  std::vector<HWND> children;
  EnumChildWindows(window, collect_child, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    if (_wcsicmp(class_of(child).c_str(), className) == 0) return true;
  }
  return false;
}

// Windows shown, by hook (the event procedure gets no context of its own).
std::map<HWINEVENTHOOK, int>& shown_counts() {
  static std::map<HWINEVENTHOOK, int> counts;
  return counts;
}

void CALLBACK on_window_event(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object,
                              LONG child, DWORD, DWORD) {
  // Wine raises the creation of a window, Windows its showing too; either counts.
  if (event != EVENT_OBJECT_CREATE && event != EVENT_OBJECT_SHOW) return;
  if (window == nullptr || object != OBJID_WINDOW || child != CHILDID_SELF) return;
  // Top-level windows only; a destroyed one no longer says, and counts.
  if (IsWindow(window) && GetAncestor(window, GA_PARENT) != GetDesktopWindow()) return;
  ++shown_counts()[hook];
}

}  // namespace

ShownWindows::ShownWindows(DWORD processId) {
  hook_ = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, on_window_event,
                          processId, 0, WINEVENT_OUTOFCONTEXT);
  if (hook_ != nullptr) shown_counts()[hook_] = 0;
}

ShownWindows::~ShownWindows() {
  if (hook_ == nullptr) return;
  UnhookWinEvent(hook_);
  shown_counts().erase(hook_);
}

int ShownWindows::count() const {
  const auto found = shown_counts().find(hook_);
  return found == shown_counts().end() ? 0 : found->second;
}

void pause(DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

bool wait_end_pumping(const Program& program) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= WAIT_MS) return false;
    HANDLE process = program.handle();
    const DWORD woke =
        MsgWaitForMultipleObjects(1, &process, FALSE, WAIT_MS - elapsed, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) {
      // Events the program raised before it ended are already queued here.
      pause(POLL_MS);
      return true;
    }
    if (woke == WAIT_FAILED) return false;
  }
}

Program::~Program() {
  if (suspendedThread_ != nullptr) CloseHandle(suspendedThread_);
  if (process_ == nullptr) return;
  if (running()) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, WAIT_MS);
  }
  CloseHandle(process_);
}

bool Program::start(const std::string& exe, const std::string& arguments,
                    const std::string& dir, bool suspended) {
  std::string commandLine = "\"" + exe + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      suspended ? CREATE_SUSPENDED : 0, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &startup, &info)) {
    return false;
  }
  if (suspended) {
    suspendedThread_ = info.hThread;
  } else {
    CloseHandle(info.hThread);
  }
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

bool Program::resume() {
  if (suspendedThread_ == nullptr) return false;
  const bool resumed = ResumeThread(suspendedThread_) != DWORD(-1);
  CloseHandle(suspendedThread_);
  suspendedThread_ = nullptr;
  return resumed;
}

bool Program::running() const {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Program::wait_end(DWORD* exitCode) {
  if (process_ == nullptr || WaitForSingleObject(process_, WAIT_MS) != WAIT_OBJECT_0) {
    return false;
  }
  return GetExitCodeProcess(process_, exitCode) != 0;
}

std::vector<HWND> windows_of(DWORD processId) {
  Search search{processId, {}};
  EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

WindowKind kind_of(HWND window) {
  if (class_of(window) != L"#32770") return WindowKind::Other;
  if (GetDlgItem(window, CONFIRM_TEXT_ID) != nullptr) return WindowKind::Confirmation;
  if (GetDlgItem(window, MESSAGE_TEXT_ID) != nullptr) return WindowKind::Message;
  if (has_child_of_class(window, L"SysTreeView32")) return WindowKind::FolderBrowser;
  return WindowKind::Other;
}

HWND wait_window(const Program& program, WindowKind kind) {
  for (DWORD waited = 0; waited < WAIT_MS; waited += POLL_MS) {
    for (HWND w : windows_of(program.id())) {
      if (kind_of(w) == kind) return w;
    }
    if (!program.running()) return nullptr;
    pause(POLL_MS);
  }
  return nullptr;
}

std::wstring window_text(HWND window) {
  wchar_t text[1024] = L"";
  GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring item_text(HWND dialog, int id) {
  wchar_t text[1024] = L"";
  GetDlgItemTextW(dialog, id, text, 1024);
  return text;
}

std::vector<std::wstring> child_texts(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, collect_child, reinterpret_cast<LPARAM>(&children));
  std::vector<std::wstring> texts;
  for (HWND child : children) {
    wchar_t text[1024] = L"";
    SendMessageTimeoutW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK,
                        WAIT_MS, nullptr);
    texts.push_back(text);
  }
  return texts;
}

bool press(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0) != 0;
}

bool wait_gone(HWND window) {
  for (DWORD waited = 0; waited < WAIT_MS; waited += POLL_MS) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    pause(POLL_MS);
  }
  return false;
}
