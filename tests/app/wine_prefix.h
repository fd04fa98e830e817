// A Wine prefix for one test: drive C: under a temporary folder with its Windows folder, made
// the prefix of every host path (WINEPREFIX) while the object lives.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/pak_fixture.h"
#include "support/temp_dir.h"

class WinePrefix {
 public:
  WinePrefix() {
    namespace fs = std::filesystem;
    fs::create_directories(driveC() + "/windows");
    fs::create_directories(dir_.join("dosdevices"));
    fs::create_directory_symlink("../drive_c", dir_.join("dosdevices/c:"));
    const char* old = getenv("WINEPREFIX");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("WINEPREFIX", dir_.path().c_str(), 1);
  }
  ~WinePrefix() {
    if (hadOld_) {
      setenv("WINEPREFIX", old_.c_str(), 1);
    } else {
      unsetenv("WINEPREFIX");
    }
  }
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  std::string driveC() const { return dir_.join("drive_c"); }
  // Writes the game's settings file, VELMOR.INI, in the Windows folder.
  bool write_settings(const std::string& text) const {
    return write_file_bytes(driveC() + "/windows/VELMOR.INI", bytes_of(text));
  }

 private:
  TempDir dir_;
  bool hadOld_ = false;
  std::string old_;
};
