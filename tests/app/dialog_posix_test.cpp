// Start-up and the confirmation dialog through the console stand-in: answers fed as text, the
// transcript read back in UTF-8. The game folder from the settings file or the browser, wrong
// folders, cancelling, every result's message, a second instance in another process, and a game
// in a Chinese-named folder under a Wine prefix (Big5 settings, the folder typed in UTF-8).
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "app/updater.h"
#include "host/code_page.h"
#include "platform/console_posix.h"
#include "update_fixture.h"
#include "wine_prefix.h"

namespace {

// The texts as a UTF-8 terminal shows them.
constexpr char TITLE[] = "Velmor V1.01  更新程式";
constexpr char CONFIRM[] = "要執行更新嗎？";
constexpr char BROWSER_PROMPT[] = "請選擇遊戲資料夾：";
constexpr char WRONG_FOLDER[] = "請選擇遊戲所在的資料夾";
constexpr char UPDATED[] = "更新完成 !";
constexpr char MESSAGE_MARK[] = "*** ";

// The locale's variables naming one locale for one scope.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* locale) {
    for (const char* name : {"LC_ALL", "LANG"}) {
      const char* old = getenv(name);
      old_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
      setenv(name, locale, 1);
    }
  }
  ~ScopedLocale() {
    for (const auto& [name, value] : old_) {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> old_;
};

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class DialogTest : public UpdateTest {
 protected:
  void SetUp() override {
    UpdateTest::SetUp();
    const char* old = getenv("XDG_RUNTIME_DIR");
    oldRuntime_ = old != nullptr ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    UiConsoleReset();
    UiConsoleSetEncoding("UTF-8");
    std::strcpy(gameFolder, GAME_FOLDER_UNKNOWN);
    install_game();
    build_updater();
  }
  void TearDown() override {
    UiConsoleSetStreams(nullptr, nullptr);
    UiConsoleSetEncoding(nullptr);
    UiConsoleReset();
    setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    UpdateTest::TearDown();
  }

  // Runs the updater from its start with the given answers; returns what it showed.
  std::string run(const std::string& answers, HINSTANCE previous = nullptr) {
    std::string input = answers;
    FILE* in = input.empty() ? fopen("/dev/null", "r") : fmemopen(input.data(), input.size(), "r");
    char* shown = nullptr;
    size_t shownLength = 0;
    FILE* out = open_memstream(&shown, &shownLength);
    UiConsoleSetStreams(in, out);
    EXPECT_EQ(UpdaterMain(nullptr, previous, SW_SHOWNORMAL), 0);
    UiConsoleSetStreams(nullptr, nullptr);
    UiConsoleReset();
    fclose(in);
    fclose(out);
    std::string text(shown, shownLength);
    free(shown);
    return text;
  }

  // VELMOR.INI naming the game folder as drive C: sees it.
  void settings_name_the_game() {
    std::filesystem::create_directory_symlink(game_.path(), prefix_.driveC() + "/Velmor");
    ASSERT_TRUE(prefix_.write_settings("[INI]\r\nGAMEDIR=C:\\Velmor\r\n"));
  }

  WinePrefix prefix_;
  TempDir runtime_;
  std::string oldRuntime_;
};

TEST_F(DialogTest, SettingsFileNamesTheGameFolder) {
  settings_name_the_game();
  const std::string shown = run("ok\n");
  EXPECT_EQ(count(shown, TITLE), 2u);  // the dialog's title, the message's caption
  EXPECT_EQ(count(shown, CONFIRM), 1u);
  EXPECT_EQ(count(shown, BROWSER_PROMPT), 0u);
  EXPECT_EQ(count(shown, UPDATED), 1u);
  EXPECT_EQ(count(shown, MESSAGE_MARK), 1u);
  EXPECT_STREQ(gameFolder, "C:\\Velmor");
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

// A game installed under Wine in a folder with a Chinese name, under the Chinese locale: Wine
// keeps the folder under its UTF-8 name, the installer wrote its Big5 bytes into VELMOR.INI.
class ChineseFolderTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    host_set_code_page(950);
    std::error_code made;  // already there from the case before
    std::filesystem::create_directories(prefix_.driveC() + "/遊戲", made);
    std::filesystem::create_directory_symlink(game_.path(), prefix_.driveC() + "/遊戲/Velmor", made);
  }
  void TearDown() override {
    host_set_code_page(0);
    DialogTest::TearDown();
  }
  ScopedLocale locale_{"zh_TW.UTF-8"};
};

constexpr char GAME_FOLDER_BIG5[] = "C:\\\xB9\x43\xC0\xB8\\Velmor";  // C:\遊戲\Velmor

TEST_F(ChineseFolderTest, SettingsFileInBig5FindsTheFolder) {
  ASSERT_TRUE(prefix_.write_settings(std::string("[INI]\r\nGAMEDIR=") + GAME_FOLDER_BIG5 + "\r\n"));
  const std::string shown = run("ok\n");
  EXPECT_EQ(count(shown, BROWSER_PROMPT), 0u);
  EXPECT_EQ(count(shown, UPDATED), 1u);
  EXPECT_STREQ(gameFolder, GAME_FOLDER_BIG5);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(ChineseFolderTest, FolderTypedAtThePromptIsConvertedToTheCodePage) {
  const struct {
    std::string typed;  // UTF-8, as a terminal sends it
    std::string folder;  // what the library then holds
  } cases[] = {
      {prefix_.driveC() + "/遊戲/Velmor", prefix_.driveC() + "/\xB9\x43\xC0\xB8/Velmor"},
      {"C:\\遊戲\\velmor\\", "C:\\\xB9\x43\xC0\xB8\\velmor\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    next_case();
    // First a folder code page 950 cannot spell: refused, and the browser stays open.
    const std::string shown = run("ok\n" + prefix_.driveC() + "/게임\n" + c.typed + "\n");
    EXPECT_EQ(count(shown, BROWSER_PROMPT), 1u);
    EXPECT_EQ(count(shown, "not written in code page 950"), 1u);
    EXPECT_EQ(count(shown, WRONG_FOLDER), 0u);
    EXPECT_EQ(count(shown, UPDATED), 1u);
    EXPECT_EQ(std::string(gameFolder), c.folder);
    EXPECT_EQ(snapshot(game_.path()), updated_state());
  }
}

// Folders whose last character ends in byte 0x5C (許 B3 5C, 功 A5 5C), named without a trailing
// backslash as installers write them and as the browser returns them.
TEST_F(ChineseFolderTest, FoldersEndingInATrailByte5CAreFoundAndUpdated) {
  const struct {
    const char* utf8;  // the folder under 遊戲 as Wine keeps it
    std::string big5;  // C:\遊戲\<it> in Big5
  } cases[] = {
      {"許", std::string("C:\\\xB9\x43\xC0\xB8\\\xB3\x5C")},
      {"武功", std::string("C:\\\xB9\x43\xC0\xB8\\\xAA\x5A\xA5\x5C")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::error_code made;
    std::filesystem::create_directory_symlink(game_.path(), prefix_.driveC() + "/遊戲/" + c.utf8, made);
    // From the settings file.
    next_case();
    ASSERT_TRUE(prefix_.write_settings("[INI]\r\nGAMEDIR=" + c.big5 + "\r\n"));
    std::string shown = run("ok\n");
    EXPECT_EQ(count(shown, BROWSER_PROMPT), 0u);
    EXPECT_EQ(count(shown, UPDATED), 1u);
    EXPECT_EQ(std::string(gameFolder), c.big5);
    EXPECT_EQ(snapshot(game_.path()), updated_state());
    // Typed at the prompt, the settings naming no folder.
    next_case();
    ASSERT_TRUE(prefix_.write_settings("[INI]\r\nGAMEDIR=C:\\Nowhere\r\n"));
    shown = run(std::string("ok\nC:\\遊戲\\") + c.utf8 + "\n");
    EXPECT_EQ(count(shown, BROWSER_PROMPT), 1u);
    EXPECT_EQ(count(shown, WRONG_FOLDER), 0u);
    EXPECT_EQ(count(shown, UPDATED), 1u);
    EXPECT_EQ(std::string(gameFolder), c.big5);
    EXPECT_EQ(snapshot(game_.path()), updated_state());
  }
}

TEST_F(DialogTest, EnterPressesOk) {
  settings_name_the_game();
  EXPECT_EQ(count(run("\n"), UPDATED), 1u);
}

TEST_F(DialogTest, WrongFolderThreeTimesThenTheRightOne) {
  const std::string answers = "ok\n" + tools_.path() + "\n" + prefix_.driveC() + "\n" +
                              "/no/such/folder\n" + game_.path() + "/\n";
  const std::string shown = run(answers);
  EXPECT_EQ(count(shown, BROWSER_PROMPT), 4u);
  EXPECT_EQ(count(shown, WRONG_FOLDER), 3u);
  EXPECT_EQ(count(shown, UPDATED), 1u);
  EXPECT_EQ(count(shown, CONFIRM), 1u);  // the dialog never showed again
  EXPECT_EQ(std::string(gameFolder), game_.path() + "/");
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(DialogTest, CancelledBrowserLeavesTheDialogOpen) {
  const FolderState before = snapshot(game_.path());
  const std::string shown = run("ok\n\nc\n");
  EXPECT_EQ(count(shown, BROWSER_PROMPT), 1u);
  EXPECT_EQ(count(shown, CONFIRM), 2u);
  EXPECT_EQ(count(shown, MESSAGE_MARK), 0u);
  EXPECT_EQ(updateResult, 0u);
  EXPECT_STREQ(gameFolder, GAME_FOLDER_UNKNOWN);
  EXPECT_EQ(snapshot(game_.path()), before);
}

TEST_F(DialogTest, CancelShowsNothingAndChangesNothing) {
  const FolderState before = snapshot(game_.path());
  // No settings file: "ok" alone opens the browser, which the end of input cancels, and then
  // the end of input closes the dialog too.
  for (const char* answers : {"c\n", "", "CANCEL\n", "取消\n", "maybe\nc\n", "ok\n"}) {
    SCOPED_TRACE(answers);
    const std::string shown = run(answers);
    EXPECT_EQ(count(shown, MESSAGE_MARK), 0u);
    EXPECT_EQ(updateResult, 0u);
    EXPECT_EQ(snapshot(game_.path()), before);
  }
}

TEST_F(DialogTest, EveryResultShowsItsMessage) {
  const struct {
    const char* what;
    std::vector<FixtureMember> pack;
    std::string updaterName;
    const char* message;
  } cases[] = {
      {"updated", {}, "VelmorUpdate.exe", UPDATED},
      {"already updated", {FixtureMember{"Update01.txt", bytes_of("1")}}, "VelmorUpdate.exe",
       "您已經更新過了。"},
      {"newer installed", {FixtureMember{"Update02.txt", bytes_of("2")}}, "VelmorUpdate.exe",
       "更新檔不是最新版本，請使用最新版本更新。"},
      {"pack damaged", {}, "VelmorUpdate.bin", "更新失敗，更新檔案錯誤，您的更新檔損毀無法執行。"},
      {"failed", {}, "", "更新失敗，請檢查：\n是否硬碟空間不足，\n遊戲是否有安裝完成，\n遊戲是否正在執行中。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    ASSERT_TRUE(write_file_bytes(game("Update.PAK"), pak_fixture_bytes(archive('@', c.pack))));
    if (c.updaterName.empty()) {  // a damaged member
      Bytes bad = pak_fixture_member_record(bytes_of("damaged"));
      bad[9] ^= 0x21;
      build_updater({FixtureMember{"#:\\Velmor.EXE", bad}, packed_member("#:\\Update.PAK", newPack_)});
    } else {
      build_updater({packed_member("#:\\Velmor.EXE", newExe_), packed_member("#:\\Update.PAK", newPack_)},
                    c.updaterName);
    }
    std::strcpy(gameFolder, game_.path().c_str());
    const std::string shown = run("ok\n");
    EXPECT_EQ(count(shown, MESSAGE_MARK), 1u);
    EXPECT_EQ(count(shown, c.message), 1u) << shown;
  }
}

TEST_F(DialogTest, PreviousInstanceHandleShowsTheRefusal) {
  static char token;
  const std::string shown = run("ok\n", reinterpret_cast<HINSTANCE>(&token));
  EXPECT_EQ(count(shown, ">> Cannot execute again <<"), 1u);
  EXPECT_EQ(count(shown, CONFIRM), 0u);
}

// Records the dialog's place right after its initialisation.
RECT g_placed;
INT_PTR CALLBACK PlacementProbe(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR r = ConfirmDialogProc(dialog, message, wParam, lParam);
  if (message == WM_INITDIALOG) GetWindowRect(dialog, &g_placed);
  return r;
}

TEST_F(DialogTest, DialogIsCentredOnTheScreen) {
  std::string input = "c\n";
  FILE* in = fmemopen(input.data(), input.size(), "r");
  FILE* out = tmpfile();
  UiConsoleSetStreams(in, out);
  DialogBoxParamA(nullptr, MAKEINTRESOURCEA(DIALOG_CONFIRM), nullptr, PlacementProbe, 0);
  UiConsoleSetStreams(nullptr, nullptr);
  fclose(in);
  fclose(out);
  const int width = g_placed.right - g_placed.left, height = g_placed.bottom - g_placed.top;
  EXPECT_GT(width, 1);
  EXPECT_EQ(g_placed.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(g_placed.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
}

TEST(ConsoleText, Big5IsConvertedAndBadBytesShowAsQuestionMarks) {
  UiConsoleSetEncoding("UTF-8");
  EXPECT_EQ(console::from_big5("\xa7\xf3\xb7\x73 ok"), "更新 ok");
  EXPECT_EQ(console::from_big5("\xa7\xf3\xff" "A"), "更?A");
  EXPECT_EQ(console::from_big5("A\xa7"), "A?");  // a lead byte at the end
  UiConsoleSetEncoding("BIG5");
  EXPECT_EQ(console::from_big5("\xa7\xf3"), "\xa7\xf3");
  UiConsoleSetEncoding("ASCII");
  EXPECT_EQ(console::from_big5("\xa7\xf3" "A"), "?A");
  UiConsoleSetEncoding(nullptr);
}

// Runs the updater in a child process talking through pipes; returns its process id.
pid_t spawn_updater(int* toChild, int* fromChild) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(in[1]);
    close(out[0]);
    UiConsoleReset();
    UiConsoleSetStreams(fdopen(in[0], "r"), fdopen(out[1], "w"));
    UpdaterMain(nullptr, nullptr, SW_SHOWNORMAL);  // every text it shows is flushed at once
    _exit(0);
  }
  close(in[0]);
  close(out[1]);
  *toChild = in[1];
  *fromChild = out[0];
  return pid;
}

// What a child printed until the text appeared, the output ended, or nothing more came for
// READ_WAIT_MS (a child that hangs fails the test instead of stalling it).
constexpr int READ_WAIT_MS = 30000;

std::string read_until(int fd, const std::string& text) {
  std::string got;
  char buffer[512];
  while (got.find(text) == std::string::npos) {
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, READ_WAIT_MS);
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) {
      ADD_FAILURE() << "no output for " << READ_WAIT_MS << " ms; waiting for '" << text << "'";
      break;
    }
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got.append(buffer, size_t(n));
  }
  return got;
}

// The child's exit code; -1 when it did not end by itself within READ_WAIT_MS (it is killed).
int exit_code(pid_t pid) {
  int status = 0;
  for (int waited = 0; waited < READ_WAIT_MS; waited += 10) {
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (ended < 0) return -1;
    usleep(10000);
  }
  ADD_FAILURE() << "child " << pid << " still running after " << READ_WAIT_MS << " ms";
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

TEST_F(DialogTest, SecondInstanceExitsAtOnceShowingNothing) {
  settings_name_the_game();
  const FolderState before = snapshot(game_.path());
  int toFirst = -1, fromFirst = -1;
  const pid_t first = spawn_updater(&toFirst, &fromFirst);
  ASSERT_GT(first, 0);
  // The first shows its dialog and waits for an answer.
  EXPECT_NE(read_until(fromFirst, "> ").find(CONFIRM), std::string::npos);

  int toSecond = -1, fromSecond = -1;
  const pid_t second = spawn_updater(&toSecond, &fromSecond);
  ASSERT_GT(second, 0);
  // The second may be gone before the answer is written: a closed pipe is no failure here,
  // and must not end the test process.
  const sighandler_t previous = signal(SIGPIPE, SIG_IGN);
  (void)!write(toSecond, "ok\n", 3);
  signal(SIGPIPE, previous);
  close(toSecond);
  EXPECT_EQ(read_until(fromSecond, "\x01"), "");
  EXPECT_EQ(exit_code(second), 0);
  close(fromSecond);
  EXPECT_EQ(snapshot(game_.path()), before);

  // The first goes on; once it has ended, another may start.
  ASSERT_EQ(write(toFirst, "c\n", 2), 2);
  close(toFirst);
  read_until(fromFirst, "\x01");
  EXPECT_EQ(exit_code(first), 0);
  close(fromFirst);
  EXPECT_EQ(count(run("ok\n"), UPDATED), 1u);
}

}  // namespace

namespace {

TEST_F(DialogTest, TwoCopiesStartedTogetherShowOneDialogAndUpdateOnce) {
  settings_name_the_game();
  int to[2], from[2];
  const pid_t copies[2] = {spawn_updater(&to[0], &from[0]), spawn_updater(&to[1], &from[1])};
  ASSERT_GT(copies[0], 0);
  ASSERT_GT(copies[1], 0);
  const sighandler_t previous = signal(SIGPIPE, SIG_IGN);
  std::string shown;
  for (int i = 0; i < 2; ++i) {
    (void)!write(to[i], "ok\n", 3);
    close(to[i]);
    shown += read_until(from[i], "\x01");
    close(from[i]);
    EXPECT_EQ(exit_code(copies[i]), 0);
  }
  signal(SIGPIPE, previous);
  EXPECT_EQ(count(shown, CONFIRM), 1u);
  EXPECT_EQ(count(shown, UPDATED), 1u);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

// A lock file that is not the user's own private file is refused out loud, never taken for a
// running copy.
TEST_F(DialogTest, APlantedLockFileIsRefusedOnStderr) {
  settings_name_the_game();
  EXPECT_EQ(count(run("c\n"), CONFIRM), 1u);  // makes the lock file
  std::string lock;
  for (const auto& entry : std::filesystem::directory_iterator(runtime_.path())) lock = entry.path();
  ASSERT_FALSE(lock.empty());
  const struct {
    const char* what;
    void (*plant)(const std::string&);
  } cases[] = {
      {"another user's", [](const std::string& p) { ASSERT_EQ(chown(p.c_str(), 65534, 65534), 0); }},
      {"open to others", [](const std::string& p) { ASSERT_EQ(chmod(p.c_str(), 0666), 0); }},
      {"a link", [](const std::string& p) {
         std::filesystem::remove(p);
         std::filesystem::create_symlink("/dev/null", p);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(lock);
    ASSERT_TRUE(write_file_bytes(lock, {}));
    chmod(lock.c_str(), 0600);
    c.plant(lock);
    const int saved = dup(2);
    FILE* errors = tmpfile();
    dup2(fileno(errors), 2);
    const std::string shown = run("ok\n");
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string said(4096, '\0');
    rewind(errors);
    said.resize(fread(said.data(), 1, said.size(), errors));
    fclose(errors);
    EXPECT_EQ(count(shown, CONFIRM), 0u);
    EXPECT_NE(said.find(lock), std::string::npos) << said;
  }
  std::filesystem::remove(lock);
  EXPECT_EQ(count(run("ok\n"), UPDATED), 1u);
}

}  // namespace
