// Shared set-up for the pak tool tests: a scratch folder, the library's tables reset around
// each test, the tool run in-process with captured output, and the library's own view of the
// archives the tool writes (entries and members read back as the updater reads them).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "archive/masked_stream.h"
#include "support/pak_fixture.h"
#include "support/temp_dir.h"
#include "support/vfs_fixture.h"
#include "tools/pak/pak_commands.h"

// A command line that must be refused, and the exit code it must give.
struct Refusal {
  std::vector<std::string> args;
  int code;
};

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

// One entry of an archive as the library reads it.
struct SeenEntry {
  std::string name;
  int32_t offset;
  int32_t size;
  Bytes stored;  // the member's bytes, empty for deleted entries
};

class PakToolTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }
  void TearDown() override {
    EXPECT_EQ(g_archiveTop, 0) << "a command left an archive open";
    reset_process_state();
  }

  // Runs "pak ARGS..." in-process.
  static ToolRun pak(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"pak"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    ToolIo io{out, err, false};
    const int code = pak_main(int(argv.size()), argv.data(), io);
    return ToolRun{code, out.str(), err.str()};
  }

  // Runs each command line: each must exit with its code and one line on the message stream.
  static void expect_refused(const std::vector<Refusal>& refusals) {
    for (const Refusal& r : refusals) {
      SCOPED_TRACE(testing::PrintToString(r.args));
      const ToolRun run = pak(r.args);
      EXPECT_EQ(run.code, r.code);
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      EXPECT_EQ(run.err.rfind("pak: ", 0), 0u) << run.err;
    }
  }

  std::string file(const std::string& name) const { return dir_.join(name); }
  std::string put(const std::string& name, const Bytes& bytes) const {
    const std::string path = dir_.join(name);
    EXPECT_TRUE(write_file_bytes(path, bytes));
    return path;
  }
  std::string put(const std::string& name, const std::string& text) const {
    return put(name, bytes_of(text));
  }

  // The archive's entries in directory order, through pak_open (read-only); empty when it does
  // not open.
  static std::vector<SeenEntry> entries_of(const std::string& path) {
    std::vector<SeenEntry> seen;
    const int slot = pak_open(path.c_str(), PAK_OPEN_READ);
    if (slot < 0) return seen;
    const PakArchive& a = g_archives[slot];
    for (int32_t i = 0; i < a.entryCount; ++i) {
      const PakEntry& e = a.directory[i];
      SeenEntry s{e.name, e.offset, e.size, {}};
      if (e.offset != 0 && e.size > 0) {
        s.stored.resize(size_t(e.size));
        const int32_t at = a.baseOffset + e.offset;
        if (host_seek(a.file, at, HOST_SEEK_BEGIN) != at ||
            host_read(a.file, s.stored.data(), e.size) != e.size)
          s.stored.clear();
      }
      seen.push_back(std::move(s));
    }
    pak_close(slot);
    return seen;
  }

  // A packed record's content, inflated as the updater does (exactly unpackedSize bytes);
  // "<damaged>" when it does not inflate.
  static std::string unpacked(Bytes record) {
    if (record.size() < PAK_MEMBER_RECORD_HEADER_SIZE) return "<damaged>";
    const PakMemberRecord r = pak_member_record_decode(record.data());
    if (r.packedSize + PAK_MEMBER_RECORD_HEADER_SIZE > record.size()) return "<damaged>";
    std::string out(r.unpackedSize, '\0');
    if (r.unpackedSize == 0) return out;
    const uint32_t got = masked_uncompress(out.data(), record.data() + PAK_MEMBER_RECORD_HEADER_SIZE,
                                           r.packedSize, r.unpackedSize);
    return got == r.unpackedSize ? out : "<damaged>";
  }

  static bool exists_on_disk(const std::string& path) {
    return host_get_attributes(path.c_str()) != HOST_NO_SUCH_FILE;
  }

  // Files of the scratch folder whose names start with the working-copy prefix.
  std::vector<std::string> leftovers() const;

  TempDir dir_;
};
