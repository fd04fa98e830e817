// The game-folder choice in the real updater: without a settings file OK opens the shell's
// folder browser with the prompt; cancelling it keeps the dialog; a folder without the game
// brings the message and the browser again; a folder whose name the ANSI code page cannot
// spell is refused, and one it can spell is used.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "e2e_fixture.h"
#include "window_picture.h"

namespace {

class FolderChoice : public UpdaterE2E {
 protected:
  void SetUp() override {
    UpdaterE2E::SetUp();
    name_game_folder("");  // no VELMOR.INI: the folder must be chosen
  }

  // Starts the updater and presses OK in its dialog, which opens the browser; returns the
  // browser (the dialog in dialog).
  HWND ok_opens_browser(Program& updater, HWND* dialog) {
    *dialog = start(updater);
    if (*dialog == nullptr || !press(*dialog, IDOK)) return nullptr;
    return wait_browser(updater);
  }

  // Waits for the browser and checks its prompt.
  static HWND wait_browser(const Program& program) {
    HWND browser = wait_window(program, WindowKind::FolderBrowser);
    EXPECT_NE(browser, nullptr) << "no folder browser";
    if (browser == nullptr) return nullptr;
    bool prompt = false;
    for (const std::wstring& t : child_texts(browser)) prompt = prompt || t == shown::CHOOSE_FOLDER;
    EXPECT_TRUE(prompt) << "the prompt is not shown";
    return browser;
  }

  // Memory in the updater's process, for the messages that carry pointers.
  class RemoteBlock {
   public:
    RemoteBlock(HANDLE process, SIZE_T bytes)
        : process_(process),
          at_(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteBlock() {
      if (at_ != nullptr) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    char* at() const { return static_cast<char*>(at_); }
    bool put(SIZE_T offset, const void* data, SIZE_T bytes) const {
      return WriteProcessMemory(process_, at() + offset, data, bytes, nullptr) != 0;
    }
    bool get(SIZE_T offset, void* data, SIZE_T bytes) const {
      return ReadProcessMemory(process_, at() + offset, data, bytes, nullptr) != 0;
    }

   private:
    HANDLE process_;
    void* at_;
  };

  static LRESULT send(HWND window, UINT message, WPARAM wParam, const void* lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, reinterpret_cast<LPARAM>(lParam), SMTO_BLOCK,
                        WAIT_MS, &result);
    return static_cast<LRESULT>(result);
  }

  // The name of the browser tree's selected item.
  static std::wstring selected_name(const Program& program, HWND browser) {
    HWND tree = FindWindowExW(browser, nullptr, L"SysTreeView32", nullptr);
    const auto item = reinterpret_cast<HTREEITEM>(send(tree, TVM_GETNEXTITEM, TVGN_CARET, nullptr));
    if (tree == nullptr || item == nullptr) return L"";
    wchar_t text[MAX_PATH] = L"";
    RemoteBlock block(program.handle(), sizeof(TVITEMW) + sizeof text);
    TVITEMW request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = reinterpret_cast<LPWSTR>(block.at() + sizeof request);
    request.cchTextMax = MAX_PATH;
    if (block.at() == nullptr || !block.put(0, &request, sizeof request) ||
        send(tree, TVM_GETITEMW, 0, block.at()) == 0 ||
        !block.get(sizeof request, text, sizeof text)) {
      return L"";
    }
    text[MAX_PATH - 1] = L'\0';
    return text;
  }

  // Selects folder in the browser, as often as it takes for the tree to follow (the path is
  // handed over in the updater's own memory, as the selection message wants it), and
  // presses OK.
  static void choose(const Program& program, HWND browser, const std::wstring& folder) {
    const SIZE_T bytes = (folder.size() + 1) * sizeof(wchar_t);
    RemoteBlock path(program.handle(), bytes);
    ASSERT_NE(path.at(), nullptr);
    ASSERT_TRUE(path.put(0, folder.c_str(), bytes));
    const std::wstring last = folder.substr(folder.find_last_of(L'\\') + 1);
    bool selected = false;
    for (DWORD waited = 0; !selected && waited < WAIT_MS; waited += 100) {
      send(browser, BFFM_SETSELECTIONW, TRUE, path.at());
      selected = selected_name(program, browser) == last;
      if (!selected) Sleep(100);
    }
    EXPECT_TRUE(selected) << "the browser did not select the folder";
    ASSERT_TRUE(press(browser, IDOK));
    EXPECT_TRUE(wait_gone(browser));
  }

  // A folder's files, for a folder that only the wide calls can name.
  static FolderState snapshot_wide(const std::wstring& folder) {
    namespace fs = std::filesystem;
    FolderState state;
    for (const auto& entry : fs::directory_iterator(fs::path(folder))) {
      FileState f;
      std::ifstream in(entry.path(), std::ios::binary);
      f.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      f.readOnly = (GetFileAttributesW(entry.path().c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
      state[entry.path().filename().string()] = f;
    }
    return state;
  }

  static std::wstring wide(const std::string& path) {
    wchar_t out[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, out, MAX_PATH);
    return out;
  }
};

TEST_F(FolderChoice, CancelledBrowserKeepsTheDialog) {
  install_game();
  const FolderState before = snapshot(game_.path());
  Program updater;
  HWND dialog;
  HWND browser = ok_opens_browser(updater, &dialog);
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(take_picture(browser, "folder-browser"));
  ASSERT_TRUE(press(browser, IDCANCEL));
  ASSERT_TRUE(wait_gone(browser));

  EXPECT_TRUE(IsWindowVisible(dialog));
  for (HWND w : windows_of(updater.id())) EXPECT_NE(kind_of(w), WindowKind::Message);
  cancel_quietly(updater, dialog);
  EXPECT_EQ(snapshot(game_.path()), before);
}

TEST_F(FolderChoice, WrongFolderIsAskedAgainThenTheGameUpdated) {
  install_game();
  TempDir elsewhere;
  Program updater;
  HWND dialog;
  HWND browser = ok_opens_browser(updater, &dialog);
  ASSERT_NE(browser, nullptr);
  choose(updater, browser, wide(elsewhere.path()));
  EXPECT_EQ(answer_message(updater, "message-wrong-folder"), shown::WRONG_FOLDER);

  browser = wait_browser(updater);
  ASSERT_NE(browser, nullptr);
  choose(updater, browser, wide(game_.path()));
  EXPECT_EQ(answer_message(updater, nullptr), shown::UPDATED);
  expect_exit_0(updater);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(FolderChoice, ChineseFolderNameWorksWhereTheCodePageSpellsIt) {
  // "遊戲" (game): Big5 spells it, a Western code page does not; the 8-bit file calls can
  // reach the folder only in the first case.
  const std::wstring folder = wide(game_.path()) + L"\\遊戲";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  install_game();
  for (const char* name : {"Velmor.EXE", "Update.PAK", "INSTALL.DAT"}) {
    ASSERT_TRUE(MoveFileW(wide(game(name)).c_str(), (folder + L"\\" + wide(name)).c_str()));
  }
  char ansi[MAX_PATH];
  BOOL lossy = FALSE;
  const bool spelled = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.c_str(), -1,
                                           ansi, MAX_PATH, nullptr, &lossy) > 0 &&
                       !lossy;
  const FolderState before = snapshot_wide(folder);

  Program updater;
  HWND dialog;
  HWND browser = ok_opens_browser(updater, &dialog);
  ASSERT_NE(browser, nullptr);
  choose(updater, browser, folder);
  if (spelled) {
    EXPECT_EQ(answer_message(updater, nullptr), shown::UPDATED);
    expect_exit_0(updater);
    EXPECT_EQ(snapshot_wide(folder), updated_state());
    return;
  }
  // Refused as a cancelled browser is: the dialog stays, with no message.
  EXPECT_TRUE(IsWindowVisible(dialog));
  cancel_quietly(updater, dialog);
  EXPECT_EQ(snapshot_wide(folder), before);
}

// A game folder whose last character ends in byte 0x5C in the ANSI code page (許 in Big5, 表 in
// Shift-JIS), named without a trailing backslash as installers write it and as the browser
// returns it: found and updated through VELMOR.INI and through the browser.
TEST_F(FolderChoice, FolderEndingInATrailByte5CIsFoundBothWays) {
  const UINT codePage = GetACP();
  const wchar_t* last = codePage == 950 ? L"\u8A31" : codePage == 932 ? L"\u8868" : nullptr;
  if (last == nullptr) GTEST_SKIP() << "code page " << codePage << " has no such character";
  const std::wstring folder = wide(game_.path()) + L"\\" + last;
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  char ansi[MAX_PATH];
  ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr), 0);
  ASSERT_EQ(ansi[std::strlen(ansi) - 1], '\\') << "the folder's last byte is a trail byte 0x5C";
  const auto install_into_folder = [&] {
    for (const char* name : {"Velmor.EXE", "Update.PAK", "INSTALL.DAT"}) {
      DeleteFileW((folder + L"\\" + wide(name)).c_str());
    }
    install_game();
    for (const char* name : {"Velmor.EXE", "Update.PAK", "INSTALL.DAT"}) {
      ASSERT_TRUE(MoveFileW(wide(game(name)).c_str(), (folder + L"\\" + wide(name)).c_str()));
    }
  };
  {
    SCOPED_TRACE("through VELMOR.INI");
    install_into_folder();
    name_game_folder(ansi);
    Program updater;
    HWND dialog = start(updater);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(press(dialog, IDOK));
    EXPECT_EQ(answer_message(updater, nullptr), shown::UPDATED);
    expect_exit_0(updater);
    EXPECT_EQ(snapshot_wide(folder), updated_state());
  }
  {
    SCOPED_TRACE("through the browser");
    install_into_folder();
    name_game_folder("");
    Program updater;
    HWND dialog;
    HWND browser = ok_opens_browser(updater, &dialog);
    ASSERT_NE(browser, nullptr);
    choose(updater, browser, folder);
    EXPECT_EQ(answer_message(updater, nullptr), shown::UPDATED);
    expect_exit_0(updater);
    EXPECT_EQ(snapshot_wide(folder), updated_state());
  }
}

}  // namespace
