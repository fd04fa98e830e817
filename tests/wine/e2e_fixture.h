// The end-to-end fixture: updaters built from the real stub with the pak tool, a game folder
// installed afresh for each test and named by VELMOR.INI in the Windows folder, the texts as
// the user must read them, and one whole run of the updater driven through its windows.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/update_fixture.h"
#include "support/temp_dir.h"
#include "support/vfs_fixture.h"
#include "window_driver.h"

// The programs under test (Windows paths): the updater stub and the pak tool; and the library
// planted beside them under system libraries' names.
extern std::string g_stubPath;
extern std::string g_pakPath;
extern std::string g_plantedPath;
// A signed updater made outside the driver, with the files it carries beside it; empty: none.
extern std::string g_signedUpdaterPath;
// A program that stands in for the running game (waits for the named event of its argument).
extern std::string g_standinGamePath;

// The texts as shown, in UTF-16.
namespace shown {
constexpr wchar_t TITLE[] = L"Velmor V1.01  更新程式";
constexpr wchar_t CONFIRM[] = L"要執行更新嗎？";
constexpr wchar_t OK[] = L"確定";
constexpr wchar_t CANCEL[] = L"取消";
constexpr wchar_t CHOOSE_FOLDER[] = L"請選擇遊戲資料夾：";
constexpr wchar_t WRONG_FOLDER[] = L"請選擇遊戲所在的資料夾";
constexpr wchar_t UPDATED[] = L"更新完成 !";
constexpr wchar_t ALREADY_UPDATED[] = L"您已經更新過了。";
constexpr wchar_t NEWER_INSTALLED[] = L"更新檔不是最新版本，請使用最新版本更新。";
constexpr wchar_t GAME_FILES_BAD[] = L"更新失敗，遊戲檔案錯誤，請重新安裝遊戲。";
constexpr wchar_t PACK_DAMAGED[] = L"更新失敗，更新檔案錯誤，您的更新檔損毀無法執行。";
constexpr wchar_t FAILED[] =
    L"更新失敗，請檢查：\n是否硬碟空間不足，\n遊戲是否有安裝完成，\n遊戲是否正在執行中。";
}  // namespace shown

// Updaters of the tests.
enum class Payload { Sound, BrokenLocator, DamagedMember };

class UpdaterE2E : public VfsTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // The game as installed, its update pack holding the given markers beside a readme.
  void install_game(const std::vector<std::string>& markers = {});
  std::string game(const std::string& name) const { return game_.join(name); }
  // The folder after a successful update.
  FolderState updated_state() const;
  // VELMOR.INI naming folder as the game folder, or no VELMOR.INI for an empty folder.
  static void name_game_folder(const std::string& folder);

  static std::string updater(Payload payload);
  // The stub with an archive whose packed executable record holds no valid stream.
  static Bytes damaged_member_updater(const Bytes& stub);

  // Starts the updater and waits for its confirmation dialog, whose texts it checks.
  HWND start(Program& program, Payload payload = Payload::Sound);
  // Waits for the started program's confirmation dialog and checks its texts.
  static HWND expect_confirmation(const Program& program);
  // The folder the updaters start in (they and the pak tool live there).
  static const std::string& tools_path();
  // Waits for a message box of the program; checks its caption, returns its text after
  // taking its picture (when a name is given) and pressing its OK.
  static std::wstring answer_message(const Program& program, const char* pictureName);
  // Waits for the program's end and checks its exit code, 0 on every path.
  static void expect_exit_0(Program& program);
  // Presses the dialog's Cancel and checks that the program ends showing nothing more.
  static void cancel_quietly(Program& program, HWND dialog);

  TempDir game_;
  Bytes record_;
  static const std::vector<std::string> RECORD_NAMES;
  static std::unique_ptr<TempDir> s_tools;
  static Bytes s_newExe, s_newPack;
};
