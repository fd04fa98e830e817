// The end-to-end fixture: the sound updater made by `pak build-updater` from the real stub,
// two damaged ones made from its bytes, the game folder and its settings file, and the steps
// of a run seen from outside (dialog texts, message texts, exit code).
#include "e2e_fixture.h"

#include <cstring>
#include <filesystem>

#include "window_picture.h"

std::string g_stubPath;
std::string g_standinGamePath;
std::string g_pakPath;
std::string g_plantedPath;

const std::vector<std::string> UpdaterE2E::RECORD_NAMES = {"Data.PAK", "Music.PAK"};
std::unique_ptr<TempDir> UpdaterE2E::s_tools;
Bytes UpdaterE2E::s_newExe;
Bytes UpdaterE2E::s_newPack;

namespace {

std::string settings_path() {
  char folder[MAX_PATH] = "";
  GetWindowsDirectoryA(folder, MAX_PATH);
  return std::string(folder) + "\\VELMOR.INI";
}

std::string payload_name(Payload payload) {
  switch (payload) {
    case Payload::Sound:
      return "VelmorUpdate.exe";
    case Payload::BrokenLocator:
      return "BrokenLocator.exe";
    case Payload::DamagedMember:
      return "DamagedMember.exe";
  }
  return "";
}

// Runs the pak tool to the end; its exit code, or -1 when it did not run or end.
int run_pak(const std::string& arguments) {
  Program pak;
  DWORD code = 0;
  if (!pak.start(g_pakPath, arguments) || !pak.wait_end(&code)) return -1;
  return static_cast<int>(code);
}

std::string in_quotes(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

Bytes UpdaterE2E::damaged_member_updater(const Bytes& stub) {
  Bytes record = pak_fixture_member_record(bytes_of("new game executable"));
  for (size_t i = 10; i < record.size(); ++i) record[i] = 0xFF;  // reserved block type
  FixtureArchive payload = archive('#', {}, true);
  payload.members = {FixtureMember{"#:\\Velmor.EXE", record, false, 0},
                     FixtureMember{"#:\\Update.PAK", pak_fixture_member_record(s_newPack), false, 0}};
  return pak_fixture_append(stub, pak_fixture_bytes(payload));
}

void UpdaterE2E::SetUpTestSuite() {
  s_tools = std::make_unique<TempDir>();
  s_newExe = bytes_of("new game executable\n");
  s_newExe.resize(70000, 0x90);
  s_newPack = pak_fixture_bytes(archive(
      '@', {member("Update01.txt", "1"), member("Readme.txt", "new pack")}));
  ASSERT_TRUE(write_file_bytes(s_tools->join("Velmor.EXE"), s_newExe));
  ASSERT_TRUE(write_file_bytes(s_tools->join("Update.PAK"), s_newPack));

  const std::string sound = s_tools->join(payload_name(Payload::Sound));
  ASSERT_EQ(run_pak("build-updater --stub " + in_quotes(g_stubPath) + " --game-exe " +
                    in_quotes(s_tools->join("Velmor.EXE")) + " --pack " +
                    in_quotes(s_tools->join("Update.PAK")) + " -o " + in_quotes(sound)),
            0);
  // The locator at the end pointing past the file: no archive can be found.
  Bytes broken = read_file_bytes(sound);
  ASSERT_GT(broken.size(), 4u);
  std::memset(&broken[broken.size() - 4], 0xFF, 4);
  ASSERT_TRUE(write_file_bytes(s_tools->join(payload_name(Payload::BrokenLocator)), broken));
  ASSERT_TRUE(write_file_bytes(s_tools->join(payload_name(Payload::DamagedMember)),
                               damaged_member_updater(read_file_bytes(g_stubPath))));
}

void UpdaterE2E::TearDownTestSuite() { s_tools.reset(); }

void UpdaterE2E::SetUp() {
  VfsTest::SetUp();
  name_game_folder(game_.path());
}

void UpdaterE2E::TearDown() {
  DeleteFileA(settings_path().c_str());
  VfsTest::TearDown();
}

void UpdaterE2E::install_game(const std::vector<std::string>& markers) {
  std::vector<FixtureMember> members = {member("Readme.txt", "old pack")};
  for (const std::string& m : markers) members.push_back(member(m, "marker"));
  ASSERT_TRUE(write_file_bytes(game("Velmor.EXE"), bytes_of("old game executable")));
  ASSERT_TRUE(write_file_bytes(game("Update.PAK"),
                               pak_fixture_bytes(archive('@', members))));
  record_ = install_record(RECORD_NAMES);
  ASSERT_TRUE(write_file_bytes(game("INSTALL.DAT"), record_));
}

FolderState UpdaterE2E::updated_state() const {
  FolderState s;
  s["Velmor.EXE"] = FileState{s_newExe, false};
  s["Update.PAK"] = FileState{s_newPack, false};
  s["INSTALL.DAT"] = FileState{appended_record(record_, RECORD_NAMES), false};
  return s;
}

void UpdaterE2E::name_game_folder(const std::string& folder) {
  const std::string path = settings_path();
  if (folder.empty()) {
    DeleteFileA(path.c_str());
    return;
  }
  ASSERT_TRUE(write_file_bytes(path, bytes_of("[INI]\r\nGAMEDIR=" + folder + "\r\n")));
}

std::string UpdaterE2E::updater(Payload payload) { return s_tools->join(payload_name(payload)); }

HWND UpdaterE2E::start(Program& program, Payload payload) {
  EXPECT_TRUE(program.start(updater(payload), "", tools_path()));
  return expect_confirmation(program);
}

const std::string& UpdaterE2E::tools_path() { return s_tools->path(); }

HWND UpdaterE2E::expect_confirmation(const Program& program) {
  HWND dialog = wait_window(program, WindowKind::Confirmation);
  EXPECT_NE(dialog, nullptr) << "no confirmation dialog";
  if (dialog == nullptr) return nullptr;
  EXPECT_EQ(window_text(dialog), shown::TITLE);
  EXPECT_EQ(item_text(dialog, 1000), shown::CONFIRM);
  EXPECT_EQ(item_text(dialog, IDOK), shown::OK);
  EXPECT_EQ(item_text(dialog, IDCANCEL), shown::CANCEL);
  return dialog;
}

std::wstring UpdaterE2E::answer_message(const Program& program, const char* pictureName) {
  HWND box = wait_window(program, WindowKind::Message);
  if (box == nullptr) {
    ADD_FAILURE() << "no message box";
    return L"";
  }
  EXPECT_EQ(window_text(box), shown::TITLE);
  const std::wstring text = item_text(box, 0xFFFF);
  if (pictureName != nullptr) {
    EXPECT_TRUE(take_picture(box, pictureName));
  }
  EXPECT_TRUE(press(box, IDOK));
  EXPECT_TRUE(wait_gone(box));
  return text;
}

void UpdaterE2E::expect_exit_0(Program& program) {
  DWORD code = 99;
  ASSERT_TRUE(program.wait_end(&code)) << "the updater did not end";
  EXPECT_EQ(code, 0u);
}

void UpdaterE2E::cancel_quietly(Program& program, HWND dialog) {
  ASSERT_TRUE(press(dialog, IDCANCEL));
  // The next window to look for never comes before the end.
  EXPECT_EQ(wait_window(program, WindowKind::Message), nullptr);
  expect_exit_0(program);
}
