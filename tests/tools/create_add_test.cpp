// pak create and pak add: headers as asked, members as packed records the updater inflates,
// stored members, replacement, name rules and Big5 names from UTF-8 arguments, archives of the
// library's making, and a parallel add that equals adding the files one by one.
#include <algorithm>
#include <string>

#include "archive/pak_build_fixture.h"
#include "pak_tool_fixture.h"

namespace {

using CreateAdd = PakToolTest;

PakHeader header_at(const std::string& path) { return header_of(read_file_bytes(path)); }

TEST_F(CreateAdd, CreateWritesTheHeaderAsked) {
  struct Case {
    std::vector<std::string> args;
    uint8_t first, last;
    uint32_t userValue;
    bool compressed;
  };
  const Case cases[] = {
      {{}, '#', '#', 0, true},
      {{"--letters", "@"}, '@', '@', 0, true},
      {{"--letters", "CD", "--user-value", "0x10203040"}, 'C', 'D', 0x10203040, true},
      {{"--user-value", "4294967295", "--plain-directory"}, '#', '#', 0xFFFFFFFF, false},
  };
  for (const Case& c : cases) {
    const std::string path = file("new.pak");
    std::vector<std::string> args = {"create", path};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(testing::PrintToString(args));
    const ToolRun run = pak(args);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const PakHeader h = header_at(path);
    EXPECT_EQ(h.magic, PAK_MAGIC);
    EXPECT_EQ(h.entryCount, 0);
    EXPECT_EQ(h.firstLetter, c.first);
    EXPECT_EQ(h.lastLetter, c.last);
    EXPECT_EQ(h.userValue, c.userValue);
    EXPECT_EQ(h.packedDirectorySize, c.compressed ? 4096 : 0);
    const int slot = pak_open(path.c_str(), PAK_OPEN_READWRITE);
    EXPECT_EQ(slot, 0) << "the library opens it for writing";
    pak_close(slot);
  }
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(CreateAdd, CreateRefusals) {
  const std::string exe = put("Game.exe", "MZ stub");
  expect_refused({
      {{"create", file("a.pak"), "--letters", "ABC"}, 2},
      {{"create", file("a.pak"), "--letters", ""}, 2},
      {{"create", file("a.pak"), "--letters", "DC"}, 2},
      {{"create", file("a.pak"), "--letters", "\x01"}, 2},
      {{"create", file("a.pak"), "--user-value", "4294967296"}, 2},
      {{"create", file("a.pak"), "--user-value", "-1"}, 2},
      {{"create", exe}, 1},
      {{"create", dir_.path()}, 1},
      {{"create", file("no/such/folder/a.pak")}, 1},
  });
  EXPECT_EQ(read_file_bytes(exe), bytes_of("MZ stub"));
  EXPECT_FALSE(exists_on_disk(file("a.pak")));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(CreateAdd, CreateReplacesAnExistingArchive) {
  const std::string path = put("old.pak", pak_fixture_bytes(FixtureArchive{}));
  put("x.txt", "x");
  ASSERT_EQ(pak({"add", path, file("x.txt")}).code, 0);
  ASSERT_EQ(pak({"create", path, "--letters", "@"}).code, 0);
  EXPECT_TRUE(entries_of(path).empty());
  EXPECT_EQ(header_at(path).firstLetter, '@');
}

TEST_F(CreateAdd, AddedMembersArePackedRecordsTheLibraryReads) {
  const std::string path = file("u.pak");
  ASSERT_EQ(pak({"create", path}).code, 0);
  const std::string big(200000, 'z');
  put("readme.txt", "read me first");
  put("big.bin", big);
  put("empty", "");
  const ToolRun run =
      pak({"add", path, file("readme.txt"), file("big.bin"), file("empty")});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "");

  const std::vector<SeenEntry> seen = entries_of(path);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].name, "readme.txt");
  EXPECT_EQ(seen[0].offset, 24);
  EXPECT_EQ(seen[1].name, "big.bin");
  EXPECT_EQ(seen[1].offset, 24 + seen[0].size) << "members back to back";
  EXPECT_EQ(seen[2].name, "empty");
  EXPECT_EQ(unpacked(seen[0].stored), "read me first");
  EXPECT_EQ(unpacked(seen[1].stored), big);
  EXPECT_LT(seen[1].size, 2000) << "packed";
  EXPECT_EQ(unpacked(seen[2].stored), "");
  // The record of empty content: its head and the short stream of no bytes (either codec's).
  ASSERT_GE(seen[2].stored.size(), PAK_MEMBER_RECORD_HEADER_SIZE);
  EXPECT_EQ(load_le32(seen[2].stored.data()), 0u);
  EXPECT_EQ(seen[2].size,
            int32_t(PAK_MEMBER_RECORD_HEADER_SIZE + load_le32(seen[2].stored.data() + 4)));
  EXPECT_LE(seen[2].size, 24);
  const Bytes whole = read_file_bytes(path);
  EXPECT_EQ(whole.size(), size_t(header_at(path).directoryOffset + header_at(path).packedDirectorySize))
      << "nothing after the directory";
}

TEST_F(CreateAdd, StoredAsAndLevel) {
  const std::string path = file("s.pak");
  ASSERT_EQ(pak({"create", path, "--plain-directory"}).code, 0);
  put("data.bin", "stored bytes");
  ASSERT_EQ(pak({"add", path, file("data.bin"), "--stored", "--as", "SUB\\Data.BIN"}).code, 0);
  ASSERT_EQ(pak({"add", path, file("data.bin"), "--level", "0", "--as", "level0"}).code, 0);
  ASSERT_EQ(pak({"add", path, file("data.bin"), "--level", "9"}).code, 0);
  const std::vector<SeenEntry> seen = entries_of(path);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].name, "SUB\\Data.BIN");
  EXPECT_EQ(seen[0].stored, bytes_of("stored bytes"));
  EXPECT_EQ(seen[1].name, "level0");
  EXPECT_EQ(unpacked(seen[1].stored), "stored bytes");
  EXPECT_EQ(seen[2].name, "data.bin");
  EXPECT_EQ(unpacked(seen[2].stored), "stored bytes");
}

TEST_F(CreateAdd, AddReplacesALiveMemberOfTheSameName) {
  const std::string path = file("r.pak");
  ASSERT_EQ(pak({"create", path}).code, 0);
  put("one.txt", "first");
  ASSERT_EQ(pak({"add", path, file("one.txt"), "--as", "Name.TXT"}).code, 0);
  put("two.txt", "second");
  ASSERT_EQ(pak({"add", path, file("two.txt"), "--as", "name.txt"}).code, 0);
  const std::vector<SeenEntry> seen = entries_of(path);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].offset, 0) << "the old entry is deleted";
  EXPECT_EQ(seen[1].name, "name.txt");
  EXPECT_EQ(unpacked(seen[1].stored), "second");
}

TEST_F(CreateAdd, AddRefusals) {
  const std::string path = file("n.pak");
  ASSERT_EQ(pak({"create", path}).code, 0);
  const Bytes before = read_file_bytes(path);
  put("a.txt", "a");
  put("b.txt", "b");
  const std::string exe = put("Setup.exe", pak_fixture_append(pak_fixture_executable(64),
                                                              pak_fixture_bytes(FixtureArchive{})));
  expect_refused({
      {{"add", path, file("a.txt"), "--as", std::string(40, 'n')}, 1},  // 40 bytes: too long
      {{"add", path, file("a.txt"), "--as", "更新更新更新更新更新更新更新更新更新更新"}, 1},  // 40 Big5 bytes
      {{"add", path, file("a.txt"), file("b.txt"), "--as", "x"}, 2},
      {{"add", path, file("a.txt"), "--as", ""}, 2},
      {{"add", path, file("a.txt"), "--level", "10"}, 2},
      {{"add", path, file("a.txt"), "--stored", "--level", "3"}, 2},
      {{"add", path}, 2},
      {{"add", path, file("missing.txt")}, 1},
      {{"add", path, file("a.txt"), "--as", "\xff\xfe"}, 1},  // not UTF-8
      {{"add", path, file("a.txt"), "--as", "\xF0\x9F\x98\x80"}, 1},  // no Big5 form
      {{"add", exe, file("a.txt")}, 1},
      {{"add", file("absent.pak"), file("a.txt")}, 1},
  });
  EXPECT_EQ(read_file_bytes(path), before);
  EXPECT_TRUE(leftovers().empty());
  // 39 bytes fit.
  EXPECT_EQ(pak({"add", path, file("a.txt"), "--as", std::string(39, 'n')}).code, 0);
}

TEST_F(CreateAdd, Big5NamesComeFromUtf8Arguments) {
  const std::string path = file("big5.pak");
  ASSERT_EQ(pak({"create", path}).code, 0);
  put("更新.txt", "更新內容");
  ASSERT_EQ(pak({"add", path, file("更新.txt")}).code, 0);
  ASSERT_EQ(pak({"add", path, file("更新.txt"), "--as", "資料\\許.dat"}).code, 0);
  const std::vector<SeenEntry> seen = entries_of(path);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].name, "\xA7\xF3\xB7\x73.txt");  // 更新 in Big5
  EXPECT_EQ(seen[1].name, "\xB8\xEA\xAE\xC6\\\xB3\x5C.dat") << "許 ends in byte 0x5C";
  EXPECT_EQ(unpacked(seen[0].stored), "更新內容") << "content is bytes, never converted";

  const ToolRun listed = pak({"list", path});
  EXPECT_NE(listed.out.find("更新.txt"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("資料\\許.dat"), std::string::npos) << listed.out;
  const ToolRun cat = pak({"cat", path, "資料\\許.dat"});
  EXPECT_EQ(cat.code, 0) << cat.err;
  EXPECT_EQ(cat.out, "更新內容");

  // --raw-names stores the bytes as typed.
  ASSERT_EQ(pak({"--raw-names", "add", path, file("更新.txt"), "--as", "\xA7\xF3raw"}).code, 0);
  ASSERT_EQ(pak({"add", path, file("更新.txt"), "--as", "更raw", "--raw-names"}).code, 0);
  const std::vector<SeenEntry> after = entries_of(path);
  ASSERT_EQ(after.size(), 4u);
  EXPECT_EQ(after[2].name, "\xA7\xF3raw");
  EXPECT_EQ(after[3].name, "更raw");
}

TEST_F(CreateAdd, NamesDifferingOnlyInATrailBytesLetterCaseAreTwoMembers) {
  // 人 is A4 48 and 士 is A4 68 in Big5: the second bytes are 'H' and 'h'.
  const std::string path = file("people.pak");
  ASSERT_EQ(pak({"create", path}).code, 0);
  put("人.txt", "person");
  put("士.txt", "scholar");
  ASSERT_EQ(pak({"add", path, file("人.txt"), file("士.txt")}).code, 0);
  const std::vector<SeenEntry> seen = entries_of(path);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_NE(seen[0].offset, 0);
  EXPECT_NE(seen[1].offset, 0);
  EXPECT_EQ(pak({"cat", path, "人.txt"}).out, "person");
  EXPECT_EQ(pak({"cat", path, "士.txt"}).out, "scholar");
  // Adding one again replaces that one only.
  put("人.txt", "person again");
  ASSERT_EQ(pak({"add", path, file("人.txt")}).code, 0);
  EXPECT_EQ(pak({"cat", path, "人.txt"}).out, "person again");
  EXPECT_EQ(pak({"cat", path, "士.txt"}).out, "scholar");
  const std::string out = file("out");
  const ToolRun extracted = pak({"extract", path, "-C", out});
  ASSERT_EQ(extracted.code, 0) << extracted.err;
  EXPECT_EQ(read_file_bytes(out + "/人.txt"), bytes_of("person again"));
  EXPECT_EQ(read_file_bytes(out + "/士.txt"), bytes_of("scholar"));
}

TEST_F(CreateAdd, AddsToArchivesTheLibraryMade) {
  FixtureArchive a;
  a.firstLetter = '@';
  a.lastLetter = '@';
  a.userValue = 99;
  a.members = {{"Update01.txt", bytes_of("marker"), false, 7}, {"gone", bytes_of("x"), true, 0}};
  a.trailing = bytes_of("tail bytes");
  const std::string path = put("Update.PAK", pak_fixture_bytes(a));
  put("Update02.txt", "second marker");
  ASSERT_EQ(pak({"add", path, file("Update02.txt")}).code, 0);

  // The updater probes the pack with the prefix stripped.
  ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
  vfs_set_prefix_strip(1);
  EXPECT_NE(vfs_find_member("@:\\Update01.txt", VFS_LOOKUP), nullptr);
  EXPECT_NE(vfs_find_member("@:\\Update02.txt", VFS_LOOKUP), nullptr);
  vfs_set_prefix_strip(0);
  EXPECT_EQ(g_archives[0].entryCount, 3);
  EXPECT_EQ(g_archives[0].directory[0].tag, 7u) << "other entries kept whole";
  pak_close_all();
  EXPECT_EQ(header_at(path).userValue, 99u);
}

TEST_F(CreateAdd, ParallelAddEqualsOneByOne) {
  std::vector<std::string> files;
  for (int i = 0; i < 7; ++i) {
    std::string content;
    for (int k = 0; k < 20000 * (i + 1); ++k) content += char('a' + (k * 7 + i) % 23);
    files.push_back(put("f" + std::to_string(i) + ".txt", content));
  }
  ASSERT_EQ(host_make_dir(file("later").c_str()), 0);
  files.push_back(put("later/f3.txt", "a later file of the same name replaces the earlier one"));

  const std::string single = file("single.pak");
  ASSERT_EQ(pak({"create", single}).code, 0);
  for (const std::string& f : files) ASSERT_EQ(pak({"add", single, f}).code, 0);
  const Bytes expected = read_file_bytes(single);

  for (unsigned threads : {1u, 2u, 4u, 0u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    const std::string together = file("together.pak");
    ASSERT_EQ(pak({"create", together}).code, 0);
    AddOptions options;
    options.archive = together;
    options.files = files;
    options.threads = threads;
    std::ostringstream out, err;
    ToolIo io{out, err, false};
    ASSERT_EQ(run_add(options, io), 0) << err.str();
    EXPECT_EQ(read_file_bytes(together), expected);
  }
}

}  // namespace
