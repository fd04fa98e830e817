// pak extract and pak cat: members unpacked into files and folders, patterns, stored bytes,
// names that would land outside the target folder (refused, nothing written), and the one
// member written to standard output.
#include <filesystem>
#include <map>

#include "pak_tool_fixture.h"
#include "tools/pak/extract_path.h"

namespace {

using ExtractCat = PakToolTest;

FixtureArchive payload() {
  FixtureArchive a;
  a.members = {{"Update.PAK", pak_fixture_member_record(bytes_of("pack bytes")), false, 0},
               {"data\\maps\\one.map", pak_fixture_member_record(bytes_of("map one")), false, 0},
               {"data\\raw.bin", bytes_of("raw member"), false, 0},
               {"gone.txt", bytes_of("deleted"), true, 0},
               {"\xA7\xF3\xB7\x73.txt", pak_fixture_member_record(bytes_of("big5 name")), false, 0}};
  return a;
}

// Every file below a folder, as relative paths with '/'.
std::vector<std::string> files_below(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) {
      found.push_back(std::filesystem::relative(e.path(), folder).generic_string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST_F(ExtractCat, ExtractsEveryMemberUnpackedIntoFolders) {
  const std::string archive = put("p.pak", pak_fixture_bytes(payload()));
  const std::string out = file("out");
  const ToolRun run = pak({"extract", archive, "-C", out});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(files_below(out),
            (std::vector<std::string>{"Update.PAK", "data/maps/one.map", "data/raw.bin", "更新.txt"}));
  EXPECT_EQ(read_file_bytes(out + "/Update.PAK"), bytes_of("pack bytes"));
  EXPECT_EQ(read_file_bytes(out + "/data/maps/one.map"), bytes_of("map one"));
  EXPECT_EQ(read_file_bytes(out + "/data/raw.bin"), bytes_of("raw member"));
  EXPECT_EQ(read_file_bytes(out + "/更新.txt"), bytes_of("big5 name"));
}

TEST_F(ExtractCat, PatternsStoredBytesAndUnmatchedPatterns) {
  const FixtureArchive a = payload();
  const std::string archive = put("p.pak", pak_fixture_bytes(a));
  const std::string out = file("sel");
  ASSERT_EQ(pak({"extract", archive, "*.PAK", "data\\maps\\*", "-C", out, "--stored"}).code, 0);
  EXPECT_EQ(files_below(out), (std::vector<std::string>{"Update.PAK", "data/maps/one.map"}));
  EXPECT_EQ(read_file_bytes(out + "/Update.PAK"), a.members[0].data) << "the record as stored";

  const ToolRun missing = pak({"extract", archive, "update.pak", "nothing.*", "-C", out});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "pak: " + archive + ": no member matches \"nothing.*\"\n");
  EXPECT_EQ(read_file_bytes(out + "/Update.PAK"), bytes_of("pack bytes")) << "matched ones go";
}

TEST_F(ExtractCat, NamesLandingOutsideTheFolderAreRefused) {
  const std::vector<std::string> escaping = {
      "..\\evil.txt", "a\\..\\..\\evil.txt", "\\evil.txt", "/evil.txt", "C:\\evil.txt",
      "C:evil.txt",   "#:\\Velmor.EXE",      "..",         "a\\\\b",     "a\\",
      "...\\x",       "sub/../../evil",      "CON",        "nul.txt",    "a\x01.txt"};
  FixtureArchive a;
  for (const std::string& name : escaping) {
    a.members.push_back({name, bytes_of("should never be written"), false, 0});
  }
  a.members.push_back({"fine\\ok.txt", bytes_of("ok"), false, 0});
  const std::string archive = put("evil.pak", pak_fixture_bytes(a));
  ASSERT_EQ(host_make_dir(file("x").c_str()), 0);
  const std::string out = file("x/y");

  const ToolRun run = pak({"extract", archive, "-C", out});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(size_t(std::count(run.err.begin(), run.err.end(), '\n')), escaping.size()) << run.err;
  EXPECT_EQ(files_below(dir_.path()), (std::vector<std::string>{"evil.pak", "x/y/fine/ok.txt"}));
}

TEST(ExtractPath, PartsOfSafeNames) {
  struct Case {
    std::string name;
    std::vector<std::string> parts;  // empty: refused
  };
  const Case cases[] = {
      {"a.txt", {"a.txt"}},
      {"sub\\deeper/file", {"sub", "deeper", "file"}},
      {"..a\\b..", {"..a", "b.."}},
      {".hidden", {".hidden"}},
      {"com10", {"com10"}},
      {"", {}},
      {". \\x", {}},
      {"LPT1.log", {}},
      {"x:y", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> parts;
    std::string problem;
    EXPECT_EQ(member_output_parts(c.name, &parts, &problem), !c.parts.empty());
    EXPECT_EQ(parts.empty() ? std::vector<std::string>{} : parts, c.parts);
    EXPECT_EQ(problem.empty(), !c.parts.empty());
  }
}

TEST_F(ExtractCat, CatWritesOneMember) {
  const std::string archive = put("p.pak", pak_fixture_bytes(payload()));
  struct Case {
    std::string name;
    int code;
    std::string out;
  };
  const Case cases[] = {
      {"update.pak", 0, "pack bytes"},     // packed record, name case ignored
      {"data\\raw.bin", 0, "raw member"},  // not a packed record: as stored
      {"更新.txt", 0, "big5 name"},
      {"gone.txt", 1, ""},
      {"*.PAK", 1, ""},  // names, not patterns
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = pak({"cat", archive, c.name});
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_EQ(run.out, c.out);
  }
}

TEST_F(ExtractCat, DamagedRecordsAreNotWritten) {
  FixtureArchive a;
  Bytes record = pak_fixture_member_record(bytes_of("some content that compresses"));
  record[record.size() - 3] ^= 0x55;  // the Adler-32 check no longer holds
  a.members = {{"bad.txt", record, false, 0}, {"good.txt", bytes_of("fine"), false, 0}};
  const std::string archive = put("d.pak", pak_fixture_bytes(a));
  const ToolRun run = pak({"extract", archive, "-C", file("o")});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pak: " + archive + ": \"bad.txt\": its packed record is damaged\n");
  EXPECT_EQ(files_below(file("o")), (std::vector<std::string>{"good.txt"}));
  EXPECT_EQ(pak({"cat", archive, "bad.txt"}).code, 1);
}

// Enough small members for the workers to write files while the caller makes the next ones,
// over a folder that already holds some of the names: a file already there (in any case) is
// overwritten, one damaged member's file already there is left as it was and another's is not
// made, and of a name met twice (in any case) the later member's content stays.
TEST_F(ExtractCat, ManySmallMembersOverFilesAlreadyThere) {
  FixtureArchive a;
  std::map<std::string, Bytes> expected;  // file name in the folder -> content
  for (int i = 0; i < 300; ++i) {
    Bytes content(1000 + size_t(i));  // packs to about as much: runs of them go to workers
    uint32_t seed = uint32_t(i) + 1;
    for (uint8_t& b : content) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 23);
    const std::string name = "f" + std::to_string(i) + ".bin";
    a.members.push_back({name, pak_fixture_member_record(content), false, 0});
    expected[name] = content;
  }
  Bytes damaged = pak_fixture_member_record(Bytes(900, 'd'));
  damaged[damaged.size() - 3] ^= 0x55;
  a.members[40] = {"kept.bin", damaged, false, 0};
  a.members[41] = {"never.bin", damaged, false, 0};
  a.members[50] = {"Twice.bin", pak_fixture_member_record(bytes_of("first")), false, 0};
  a.members[250] = {"TWICE.BIN", pak_fixture_member_record(bytes_of("second")), false, 0};
  for (const char* gone : {"f40.bin", "f41.bin", "f50.bin", "f250.bin"}) expected.erase(gone);
  expected["kept.bin"] = bytes_of("was here");
  expected["Twice.bin"] = bytes_of("second");
  expected["F7.BIN"] = expected["f7.bin"];  // the file there, in another case, is the one written
  expected.erase("f7.bin");
  const std::string archive = put("many.pak", pak_fixture_bytes(a));
  const std::string out = file("many");
  std::filesystem::create_directories(out);
  put("many/kept.bin", "was here");
  put("many/f3.bin", "an older f3 that was longer than the new one by far, or nearly");
  put("many/F7.BIN", "old");

  const ToolRun run = pak({"extract", archive, "-C", out});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pak: " + archive + ": \"kept.bin\": its packed record is damaged\n" +
                         "pak: " + archive + ": \"never.bin\": its packed record is damaged\n");
  std::vector<std::string> names;
  for (const auto& [name, content] : expected) {
    names.push_back(name);
    EXPECT_EQ(read_file_bytes(out + "/" + name), content) << name;
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(files_below(out), names);
}

// Directory entries whose size is negative or runs past the file: those members are refused
// as lying outside the archive's file, the others extracted.
TEST_F(ExtractCat, EntriesOfImpossibleSizesAreRefused) {
  FixtureArchive a;
  a.members = {{"neg.txt", bytes_of("negative"), false, 0},
               {"good.txt", bytes_of("fine"), false, 0},
               {"long.txt", bytes_of("too long"), false, 0}};
  FixtureLayout layout = pak_fixture_build(a);
  uint8_t* directory = layout.bytes.data() + layout.directoryOffset;
  store_le32(directory, uint32_t(-5));
  store_le32(directory + 2 * PAK_ENTRY_SIZE, 0x7FFFFFF0u);
  const std::string archive = put("sizes.pak", layout.bytes);
  const ToolRun run = pak({"extract", archive, "-C", file("o")});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pak: " + archive + ": \"neg.txt\": lies outside the archive's file\n" +
                         "pak: " + archive + ": \"long.txt\": lies outside the archive's file\n");
  EXPECT_EQ(files_below(file("o")), (std::vector<std::string>{"good.txt"}));
}

}  // namespace
