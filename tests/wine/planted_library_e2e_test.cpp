// Libraries planted beside the programs under the names of system libraries, as a downloads
// folder may hold them, with Wine told to prefer such copies to its own: the updater, worked
// through its dialog to an update and through its folder browser, and the pak tool load none.
#include <string>
#include <vector>

#include "e2e_fixture.h"

namespace {

// Libraries that Windows and its shell load by name on demand, and the ones the updater's
// windows and folder browser pull in under Wine (uxtheme, comctl32, and msimg32, which those
// two delay-load). Not version.dll: Wine's user32 imports it, so under Wine it loads with the
// program's own imports, before the program's first instruction; so do the others that the
// system libraries import.
const char* const PLANTED_NAMES[] = {
    "uxtheme", "dwmapi",   "cryptbase", "userenv", "textshaping", "msimg32", "comctl32",
    "oleaut32", "propsys", "ntmarta",   "winmm",   "dbghelp",     "cfgmgr32", "wintypes",
};

// Wine told to load the planted names from a library file beside the program first, for one
// program while the object lives. Through Wine's per-program settings: Wine reads
// WINEDLLOVERRIDES from the environment it was started with, which a started program does not
// take from the environment its parent hands it.
class NativeFirst {
 public:
  explicit NativeFirst(const std::string& program)
      : key_("Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides") {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return;
    }
    static const char ORDER[] = "native,builtin";
    set_ = true;
    for (const char* name : PLANTED_NAMES) {
      set_ = set_ && RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(ORDER),
                                    sizeof ORDER) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
  }
  ~NativeFirst() {
    RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, key_.substr(0, key_.rfind('\\')).c_str());
  }
  NativeFirst(const NativeFirst&) = delete;
  NativeFirst& operator=(const NativeFirst&) = delete;

  bool set() const { return set_; }

 private:
  std::string key_;
  bool set_ = false;
};

class PlantedLibraries : public UpdaterE2E {
 protected:
  void SetUp() override {
    UpdaterE2E::SetUp();
    ASSERT_TRUE(updaterOverrides_.set() && pakOverrides_.set());
    for (const char* name : PLANTED_NAMES) {
      ASSERT_TRUE(CopyFileA(g_plantedPath.c_str(), planted(name).c_str(), FALSE)) << name;
    }
  }

  // Whatever the test did, no planted library was loaded.
  void TearDown() override {
    EXPECT_EQ(loaded(), std::vector<std::string>{}) << "planted libraries were loaded";
    UpdaterE2E::TearDown();
  }

  std::string planted(const char* name) const { return downloads_.join(name) + ".dll"; }

  // A program copied into the downloads folder.
  std::string downloaded(const std::string& from, const char* name) const {
    const std::string to = downloads_.join(name);
    EXPECT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from;
    return to;
  }

  // The planted names whose library was loaded: its marker is there.
  std::vector<std::string> loaded() const {
    std::vector<std::string> found;
    for (const char* name : PLANTED_NAMES) {
      if (GetFileAttributesA((planted(name) + ".loaded").c_str()) != INVALID_FILE_ATTRIBUTES) {
        found.push_back(name);
      }
    }
    return found;
  }

  // Starts the downloaded updater from its own folder, with the overrides in its environment.
  HWND start_downloaded(Program& program) {
    const std::string exe = downloaded(updater(Payload::Sound), "VelmorUpdate.exe");
    EXPECT_TRUE(program.start(exe, "", downloads_.path()));
    return expect_confirmation(program);
  }

  TempDir downloads_;
  NativeFirst updaterOverrides_{"VelmorUpdate.exe"};
  NativeFirst pakOverrides_{"pak.exe"};
};

// The planted library is a real one of this build's kind: loaded, it leaves its marker. So an
// empty list of loaded names below means that nothing loaded them.
TEST_F(PlantedLibraries, LeaveTheirMarkerWhenLoaded) {
  const std::string check = downloads_.join("check.dll");
  ASSERT_TRUE(CopyFileA(g_plantedPath.c_str(), check.c_str(), FALSE));
  HMODULE module = LoadLibraryA(check.c_str());
  if (module != nullptr) FreeLibrary(module);
  EXPECT_NE(GetFileAttributesA((check + ".loaded").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PlantedLibraries, UpdaterLoadsNoneWhileUpdating) {
  install_game();
  Program updater;
  HWND dialog = start_downloaded(updater);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(press(dialog, IDOK));
  EXPECT_EQ(answer_message(updater, nullptr), shown::UPDATED);
  expect_exit_0(updater);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(PlantedLibraries, UpdaterLoadsNoneInTheFolderBrowser) {
  install_game();
  name_game_folder("");  // no VELMOR.INI: OK opens the folder browser
  Program updater;
  HWND dialog = start_downloaded(updater);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(press(dialog, IDOK));
  HWND browser = wait_window(updater, WindowKind::FolderBrowser);
  ASSERT_NE(browser, nullptr) << "no folder browser";
  ASSERT_TRUE(press(browser, IDCANCEL));
  ASSERT_TRUE(wait_gone(browser));
  cancel_quietly(updater, dialog);
}

TEST_F(PlantedLibraries, PakToolLoadsNone) {
  const std::string pak = downloaded(g_pakPath, "pak.exe");
  ASSERT_TRUE(write_file_bytes(downloads_.join("Readme.txt"), bytes_of("new pack")));
  for (const char* arguments : {"create Update.PAK --letters @", "add Update.PAK Readme.txt"}) {
    SCOPED_TRACE(arguments);
    Program tool;
    DWORD code = 99;
    ASSERT_TRUE(tool.start(pak, arguments, downloads_.path()));
    ASSERT_TRUE(tool.wait_end(&code));
    EXPECT_EQ(code, 0u);
  }
}

}  // namespace
