// The real updater under Wine, driven through its windows: each outcome's message with what
// it leaves in the game folder, the confirmation dialog as shown (texts, place, the hidden
// main window), cancelling it, a second copy started while the first shows its dialog, two
// copies started together, and a running game that must not be replaced.
#include <memory>

#include "e2e_fixture.h"
#include "window_picture.h"

namespace {

struct OutcomeCase {
  const char* name;
  std::vector<std::string> markers;  // in the game's update pack
  bool exeReadOnly;
  bool exeHeld;  // open as a running game holds it: others may read, nobody may change it
  Payload payload;
  const wchar_t* message;
  bool updated;
  const char* picture;  // of the message, for the documentation; null: none
};

const OutcomeCase kOutcomes[] = {
    {"updated", {}, false, false, Payload::Sound, shown::UPDATED, true, "message-updated"},
    {"already-updated", {"Update01.txt"}, false, false, Payload::Sound, shown::ALREADY_UPDATED,
     false, "message-already-updated"},
    {"newer-installed", {"Update01.txt", "UPDATE02.TXT"}, false, false, Payload::Sound,
     shown::NEWER_INSTALLED, false, "message-newer-installed"},
    {"pack-damaged", {}, false, false, Payload::BrokenLocator, shown::PACK_DAMAGED, false,
     "message-pack-damaged"},
    {"member-damaged", {}, false, false, Payload::DamagedMember, shown::FAILED, false,
     "message-failed"},
    {"read-only-exe", {}, true, false, Payload::Sound, shown::UPDATED, true, nullptr},
    {"exe-held-open", {}, false, true, Payload::Sound, shown::FAILED, false, nullptr},
};

class Outcome : public UpdaterE2E, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(Outcome, MessageAndGameFolder) {
  const OutcomeCase& c = GetParam();
  install_game(c.markers);
  if (c.exeReadOnly) {
    ASSERT_TRUE(SetFileAttributesA(game("Velmor.EXE").c_str(), FILE_ATTRIBUTE_READONLY));
  }
  HANDLE held = INVALID_HANDLE_VALUE;
  if (c.exeHeld) {
    held = CreateFileA(game("Velmor.EXE").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
  }
  const FolderState before = snapshot(game_.path());

  Program updater;
  HWND dialog = start(updater, c.payload);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(press(dialog, IDOK));
  EXPECT_EQ(answer_message(updater, c.picture), c.message);
  expect_exit_0(updater);

  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  EXPECT_EQ(snapshot(game_.path()), c.updated ? updated_state() : before);
}

INSTANTIATE_TEST_SUITE_P(Updater, Outcome, ::testing::ValuesIn(kOutcomes),
                         [](const ::testing::TestParamInfo<OutcomeCase>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p != '\0'; ++p) {
                             if (*p != '-') name += *p;
                           }
                           return name;
                         });

using Dialog = UpdaterE2E;

TEST_F(Dialog, ShownCentredOverTheHiddenMainWindow) {
  install_game();
  Program updater;
  HWND dialog = start(updater);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(take_picture(dialog, "dialog"));

  RECT r;
  ASSERT_TRUE(GetWindowRect(dialog, &r));
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);

  // The single-instance mark: the black 1x1 popup, found by class and its title as read.
  HWND main = FindWindowW(L"AUTORUN", shown::TITLE);
  ASSERT_NE(main, nullptr);
  DWORD owner = 0;
  GetWindowThreadProcessId(main, &owner);
  EXPECT_EQ(owner, updater.id());
  EXPECT_EQ(window_text(main), shown::TITLE);
  RECT m;
  ASSERT_TRUE(GetWindowRect(main, &m));
  EXPECT_EQ(m.left, 0);
  EXPECT_EQ(m.top, 0);
  EXPECT_EQ(m.right - m.left, 1);
  EXPECT_EQ(m.bottom - m.top, 1);
  EXPECT_EQ(GetWindowLongW(main, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_BORDER), WS_POPUP);

  cancel_quietly(updater, dialog);
}

// Ways of leaving the dialog without updating: no message, nothing changed.
TEST_F(Dialog, CancelShowsNothingAndChangesNothing) {
  for (const bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "Cancel button");
    install_game();
    const FolderState before = snapshot(game_.path());
    Program updater;
    HWND dialog = start(updater);
    ASSERT_NE(dialog, nullptr);
    if (closeBox) {
      ASSERT_TRUE(PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0));
      EXPECT_EQ(wait_window(updater, WindowKind::Message), nullptr);
      expect_exit_0(updater);
    } else {
      cancel_quietly(updater, dialog);
    }
    EXPECT_EQ(snapshot(game_.path()), before);
  }
}

TEST_F(Dialog, SecondCopyEndsAtOnceWhileTheFirstAsks) {
  install_game();
  const FolderState before = snapshot(game_.path());
  // Both copies watched from before they run. The first's dialog shows that the watch sees
  // what a copy shows, so the second's silence cannot come from a watch that sees nothing.
  Program first;
  ASSERT_TRUE(first.start(updater(Payload::Sound), "", tools_path(), /*suspended=*/true));
  ShownWindows firstShown(first.id());
  ASSERT_TRUE(firstShown.hooked());
  ASSERT_TRUE(first.resume());
  HWND dialog = expect_confirmation(first);
  ASSERT_NE(dialog, nullptr);
  pause(200);
  EXPECT_GE(firstShown.count(), 1);

  Program second;
  ASSERT_TRUE(second.start(updater(Payload::Sound), "", tools_path(), /*suspended=*/true));
  ShownWindows secondShown(second.id());
  ASSERT_TRUE(secondShown.hooked());
  ASSERT_TRUE(second.resume());
  // A copy that showed a dialog or a message would wait for an answer: it ends by itself only
  // when it showed nothing.
  ASSERT_TRUE(wait_end_pumping(second)) << "the second copy did not end by itself";
  expect_exit_0(second);
  EXPECT_EQ(secondShown.count(), 0);

  EXPECT_TRUE(IsWindowVisible(dialog));  // the first still asks
  cancel_quietly(first, dialog);
  EXPECT_EQ(snapshot(game_.path()), before);
}

// A game that is running (its image mapped, no handle of the updater's kind) is never
// replaced: the update fails with the folder as it was and the game still running.
TEST_F(Dialog, ARunningGameIsNotReplaced) {
  install_game();
  ASSERT_TRUE(CopyFileA(g_standinGamePath.c_str(), game("Velmor.EXE").c_str(), FALSE));
  const FolderState before = snapshot(game_.path());
  const char* stopName = "VelmorStandInGameStop";
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, stopName);
  ASSERT_NE(stop, nullptr);
  Program game;
  ASSERT_TRUE(game.start(this->game("Velmor.EXE"), stopName, game_.path()));
  pause(500);
  ASSERT_TRUE(game.running());

  Program updater;
  HWND dialog = start(updater);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(press(dialog, IDOK));
  EXPECT_EQ(answer_message(updater, nullptr), shown::FAILED);
  expect_exit_0(updater);
  EXPECT_TRUE(game.running()) << "the running game was harmed";
  EXPECT_EQ(snapshot(game_.path()), before);

  SetEvent(stop);
  DWORD code = 1;
  EXPECT_TRUE(game.wait_end(&code));
  CloseHandle(stop);
}

// Two copies started back to back, before either could show a window: one dialog in all.
TEST_F(Dialog, TwoCopiesStartedTogetherShowOneDialog) {
  install_game();
  const FolderState before = snapshot(game_.path());
  Program copies[2];
  std::unique_ptr<ShownWindows> shownBy[2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(copies[i].start(updater(Payload::Sound), "", tools_path(), /*suspended=*/true));
    shownBy[i] = std::make_unique<ShownWindows>(copies[i].id());
    ASSERT_TRUE(shownBy[i]->hooked());
  }
  ASSERT_TRUE(copies[0].resume());
  ASSERT_TRUE(copies[1].resume());
  // The copy that shows nothing ends by itself; the other asks.
  HWND dialog = nullptr;
  int asking = -1;
  for (DWORD waited = 0; dialog == nullptr && waited < WAIT_MS; waited += 100) {
    for (int i = 0; i < 2 && dialog == nullptr; ++i) {
      for (HWND w : windows_of(copies[i].id())) {
        if (kind_of(w) == WindowKind::Confirmation) {
          dialog = w;
          asking = i;
        }
      }
    }
    if (dialog == nullptr) pause(100);
  }
  ASSERT_NE(dialog, nullptr);
  const int other = 1 - asking;
  ASSERT_TRUE(wait_end_pumping(copies[other])) << "the other copy did not end by itself";
  expect_exit_0(copies[other]);
  EXPECT_EQ(shownBy[other]->count(), 0);
  cancel_quietly(copies[asking], dialog);
  EXPECT_EQ(snapshot(game_.path()), before);
}

// Unattended: "/S" shows no window at all and tells the outcome by its exit code; "/LOG=" writes
// the log with the last line giving that code; a bad argument is exit code 2 with nothing done.
TEST_F(Dialog, UnattendedRunsShowNothingAndEndWithTheirExitCode) {
  const std::string log = tools_path() + "\\unattended.log";
  const struct {
    const char* what;
    std::string arguments;
    bool installed;  // a game in the folder
    DWORD code;
  } cases[] = {
      {"updated", "/S \"/DIR=" + game_.path() + "\" /LOG=\"" + log + "\"", true, 0},
      {"already installed", "/s --dir=\"" + game_.path() + "\"", true, 10},
      {"no game", "/S /DIR=C:\\nowhere", false, 22},
      {"bad argument", "/S /WHAT", true, 2},
  };
  install_game();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.installed) name_game_folder("");
    const FolderState before = snapshot(game_.path());
    Program run;
    ASSERT_TRUE(run.start(updater(Payload::Sound), c.arguments, tools_path(), /*suspended=*/true));
    ShownWindows shown(run.id());
    ASSERT_TRUE(shown.hooked());
    ASSERT_TRUE(run.resume());
    ASSERT_TRUE(wait_end_pumping(run)) << "an unattended run waited for someone";
    DWORD code = 99;
    ASSERT_TRUE(run.wait_end(&code));
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(shown.count(), 0);
    if (c.code == 0) {
      EXPECT_EQ(snapshot(game_.path()), updated_state());
      const Bytes text = read_file_bytes(log);
      const std::string line = std::string(text.begin(), text.end());
      EXPECT_NE(line.find("exit code 0"), std::string::npos) << line;
      EXPECT_NE(line.find("swap: the new copy in place"), std::string::npos) << line;
    } else {
      EXPECT_EQ(snapshot(game_.path()), before);
    }
  }
}

}  // namespace
