// Test fixture for the virtual file layer: a scratch folder for archive files, and every
// process-wide table reset before and after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "archive/pak_table.h"
#include "support/pak_fixture.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"
#include "vfs/file_handle.h"
#include "host/host.h"
#include "vfs/mount_path.h"

class VfsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }
  void TearDown() override { reset_process_state(); }

  // Writes the archive to a file of the scratch folder and opens it; returns the slot.
  int mount(const FixtureArchive& archive, const std::string& fileName,
            int mode = PAK_OPEN_READWRITE) {
    const std::string path = dir_.join(fileName);
    EXPECT_TRUE(write_file_bytes(path, pak_fixture_bytes(archive)));
    return pak_open(path.c_str(), mode);
  }
  int reopen(const std::string& fileName, int mode = PAK_OPEN_READWRITE) {
    return pak_open(dir_.join(fileName).c_str(), mode);
  }

  // The whole content of a member read through a handle; empty when it cannot be opened.
  static std::string read_member(const char* path) {
    const int32_t h = vfs_open(path, 0);
    if (h < 0) return "";
    std::string out(size_t(vfs_size(h) > 0 ? vfs_size(h) : 0), '\0');
    const int32_t r = out.empty() ? 0 : vfs_read(h, out.data(), int32_t(out.size()));
    vfs_close(h);
    out.resize(size_t(r));
    return out;
  }
  static int32_t write_text(int32_t handle, const std::string& text) {
    return vfs_write(handle, text.data(), int32_t(text.size()));
  }

  static FixtureMember member(const std::string& name, const std::string& data,
                              bool deleted = false) {
    return FixtureMember{name, bytes_of(data), deleted, 0};
  }
  static FixtureArchive archive(uint8_t letter, std::vector<FixtureMember> members,
                                bool compressed = false) {
    FixtureArchive a;
    a.firstLetter = letter;
    a.lastLetter = letter;
    a.compressed = compressed;
    a.members = std::move(members);
    return a;
  }

  TempDir dir_;
};
