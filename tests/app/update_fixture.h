// Fixtures for the updater's tests: a game folder and an updater with its appended payload
// built in temporary folders, snapshots of a folder's files, and the process-wide state of the
// updater and the file layer reset around every test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/install_record.h"
#include "app/updater.h"
#include "support/pak_fixture.h"
#include "support/temp_dir.h"
#include "support/vfs_fixture.h"

// A folder's files: name, bytes and whether it is read-only.
struct FileState {
  Bytes bytes;
  bool readOnly = false;
  bool operator==(const FileState&) const = default;
};
using FolderState = std::map<std::string, FileState>;

inline FolderState snapshot(const std::string& folder) {
  namespace fs = std::filesystem;
  FolderState state;
  for (const auto& entry : fs::directory_iterator(folder)) {
    FileState f;
    f.bytes = read_file_bytes(entry.path().string());
    f.readOnly = (entry.status().permissions() & fs::perms::owner_write) == fs::perms::none;
    state[entry.path().filename().string()] = f;
  }
  return state;
}

inline void set_read_only(const std::string& path, bool readOnly) {
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::owner_write,
                  readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

// An install record of 776 + body bytes whose list holds names (at the body's start when
// listAt is 0). The header bytes and the body's filler are counted patterns, so any byte that
// moves shows.
inline Bytes install_record(const std::vector<std::string>& names, size_t bodyFiller = 24) {
  Bytes r(INSTALL_RECORD_MIN_SIZE);
  for (size_t i = 0; i < INSTALL_LIST_OFFSET_AT; ++i) r[i] = uint8_t(i * 7 + 3);
  for (size_t i = 0; i < bodyFiller; ++i) r.push_back(uint8_t(0xA0 + i));
  store_le32(&r[INSTALL_LIST_OFFSET_AT], uint32_t(r.size()));
  store_le32(&r[INSTALL_NAME_COUNT_AT], uint32_t(names.size()));
  for (const std::string& n : names) {
    r.insert(r.end(), n.begin(), n.end());
    r.push_back(0);
  }
  return r;
}

// What the record becomes with "Update.PAK" added: the old bytes with the list moved to the
// end, then the name.
inline Bytes appended_record(const Bytes& old, const std::vector<std::string>& names) {
  Bytes r = old;
  store_le32(&r[INSTALL_LIST_OFFSET_AT], uint32_t(old.size()));
  store_le32(&r[INSTALL_NAME_COUNT_AT], uint32_t(names.size() + 1));
  for (const std::string& n : names) {
    r.insert(r.end(), n.begin(), n.end());
    r.push_back(0);
  }
  const std::string added = "Update.PAK";
  r.insert(r.end(), added.begin(), added.end());
  r.push_back(0);
  return r;
}

inline FixtureMember packed_member(const std::string& name, const Bytes& content) {
  return FixtureMember{name, pak_fixture_member_record(content), false, 0};
}

// The one reset (the updater's state and the file layer) around each test; owns a game folder and a
// folder for updaters.
class UpdateTest : public VfsTest {
 protected:
  void SetUp() override {
    VfsTest::SetUp();  // the one reset, the updater's variables included
    std::strcpy(gameFolder, game_.path().c_str());
    newExe_ = bytes_of("new game executable\n");
    newExe_.resize(5000, 0x90);
    newPack_ = pak_fixture_bytes(archive('@', {member("Update01.txt", "1")}));
  }

  std::string game(const std::string& name) const { return game_.join(name); }

  // A game folder as installed: executable, update pack without markers, install record.
  void install_game(const std::vector<std::string>& recordNames = {"Data.PAK", "Music.PAK"}) {
    ASSERT_TRUE(write_file_bytes(game("Velmor.EXE"), bytes_of("old game executable")));
    ASSERT_TRUE(write_file_bytes(game("Update.PAK"), pak_fixture_bytes(archive('@', {member("Readme.txt", "old pack")}))));
    record_ = install_record(recordNames);
    recordNames_ = recordNames;
    ASSERT_TRUE(write_file_bytes(game("INSTALL.DAT"), record_));
  }

  // An updater stub carrying the given members (the two sound ones by default), named name.
  void build_updater(std::vector<FixtureMember> members, const std::string& name = "VelmorUpdate.exe",
                     uint8_t letter = '#') {
    const Bytes payload = pak_fixture_bytes(archive(letter, std::move(members), true));
    updater_ = tools_.join(name);
    ASSERT_TRUE(write_file_bytes(updater_, pak_fixture_append(pak_fixture_executable(3000), payload)));
    selfPathOverride = updater_.c_str();
  }
  void build_updater() {
    build_updater({packed_member("#:\\Velmor.EXE", newExe_), packed_member("#:\\Update.PAK", newPack_)});
  }

  // The folder after a successful update of install_game's folder.
  FolderState updated_state() const {
    FolderState s;
    s["Velmor.EXE"] = FileState{newExe_, false};
    s["Update.PAK"] = FileState{newPack_, false};
    s["INSTALL.DAT"] = FileState{appended_record(record_, recordNames_), false};
    return s;
  }

  // Starts one case of a table afresh: state reset, game folder installed.
  void next_case() {
    TearDown();
    SetUp();
    install_game();
  }

  // Runs the update and checks its result with what it leaves: the updated folder when it
  // reports RESULT_UPDATED, else the folder as it was.
  void expect_run(uint32_t result) {
    const FolderState before = snapshot(game_.path());
    RunUpdate();
    EXPECT_EQ(updateResult, result);
    EXPECT_EQ(snapshot(game_.path()), result == RESULT_UPDATED ? updated_state() : before);
    expect_nothing_open();
  }

  // Nothing of the updater's stays open after a run.
  static void expect_nothing_open() {
    EXPECT_EQ(g_archiveTop, 0);
    EXPECT_EQ(vfs_open_member_count(), 0);
  }

  TempDir game_;
  TempDir tools_;
  std::string updater_;
  Bytes newExe_, newPack_, record_;
  std::vector<std::string> recordNames_;
};
