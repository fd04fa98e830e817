// pak list and pak info: columns and JSON of live and deleted entries, archives carried by
// executables, names that cannot be shown, header fields and the dead bytes compact reclaims.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>

#include "pak_tool_fixture.h"
#include "support/pe_fixture.h"

namespace {

using ListInfo = PakToolTest;

// Three members made by the library's fixture: a packed record, a stored member, and a
// deleted one whose name the directory still holds.
FixtureArchive sample(bool compressed) {
  FixtureArchive a;
  a.firstLetter = '#';
  a.lastLetter = '$';
  a.userValue = 0xCAFE;
  a.compressed = compressed;
  a.members = {{"#:\\Velmor.EXE", pak_fixture_member_record(bytes_of("game executable")), false, 3},
               {"notes.txt", bytes_of("plain"), false, 0},
               {"old.dat", bytes_of("dead member"), true, 0}};
  return a;
}

// The words of each line of a listing.
std::vector<std::vector<std::string>> words_of(const std::string& text) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    lines.emplace_back();
    for (std::string w; words >> w;) lines.back().push_back(w);
  }
  return lines;
}

TEST_F(ListInfo, ListsLiveMembersAsColumns) {
  const FixtureLayout layout = pak_fixture_build(sample(false));
  const std::string path = put("s.pak", layout.bytes);
  const ToolRun run = pak({"list", path});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string recordSize = std::to_string(layout.memberOffsets[1] - 24);
  const std::string notesAt = std::to_string(layout.memberOffsets[1]);
  using Words = std::vector<std::string>;
  EXPECT_EQ(words_of(run.out),
            (std::vector<Words>{{"name", "size", "unpacked", "offset"},
                                {"#:\\Velmor.EXE", recordSize, "15", "24"},
                                {"notes.txt", "5", "-", notesAt}}));
  // Names padded, numbers right-aligned: every line ends in the same column.
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.size(), 43u) << line;

  const ToolRun all = pak({"list", path, "--all"});
  EXPECT_EQ(words_of(all.out).back(), (Words{"old.dat", "11", "-", "0", "deleted"}));
}

TEST_F(ListInfo, JsonHasEveryEntryField) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    const FixtureLayout layout = pak_fixture_build(sample(compressed));
    const std::string path = put("s.pak", layout.bytes);
    const ToolRun run = pak({"list", path, "--all", "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const nlohmann::json list = nlohmann::json::parse(run.out);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]["name"], "#:\\Velmor.EXE");
    EXPECT_EQ(list[0]["offset"], 24);
    EXPECT_EQ(list[0]["tag"], 3);
    EXPECT_EQ(list[0]["deleted"], false);
    EXPECT_EQ(list[0]["unpacked"], 15);
    EXPECT_EQ(list[1]["name"], "notes.txt");
    EXPECT_EQ(list[1]["size"], 5);
    EXPECT_EQ(list[1]["offset"], layout.memberOffsets[1]);
    EXPECT_TRUE(list[1]["unpacked"].is_null());
    EXPECT_EQ(list[2]["name"], "old.dat");
    EXPECT_EQ(list[2]["deleted"], true);
    EXPECT_EQ(list[2]["offset"], 0);
    EXPECT_TRUE(list[2]["unpacked"].is_null());
    EXPECT_EQ(nlohmann::json::parse(pak({"list", path, "--json"}).out),
              nlohmann::json::array({list[0], list[1]}));
  }
}

TEST_F(ListInfo, ReadsTheArchiveAnExecutableCarries) {
  const Bytes exe = pak_fixture_append(pak_fixture_executable(5000), pak_fixture_bytes(sample(true)));
  const std::string path = put("Update.EXE", exe);
  const ToolRun list = pak({"list", path, "--json"});
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_EQ(nlohmann::json::parse(list.out).size(), 2u);
  const ToolRun info = pak({"info", path, "--json"});
  ASSERT_EQ(info.code, 0) << info.err;
  const nlohmann::json j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["baseOffset"], 5000);
  EXPECT_EQ(j["live"], 2);
  EXPECT_EQ(j["deleted"], 1);
  EXPECT_EQ(j["deadBytes"], 11) << "the deleted member's bytes; the locator is not dead";
  EXPECT_TRUE(j["signature"].is_null());
  EXPECT_NE(pak({"info", path}).out.find("\nsignature         none\n"), std::string::npos);
}

TEST_F(ListInfo, SaysWhetherTheExecutableIsSigned) {
  const Bytes exe = pak_fixture_append(pe_fixture_image(5000), pak_fixture_bytes(sample(true)));
  const Bytes signedExe = pe_fixture_sign(exe, 5, 1536);
  const std::string path = put("Update.exe", signedExe);
  const ToolRun info = pak({"info", path, "--json"});
  ASSERT_EQ(info.code, 0) << info.err;
  const nlohmann::json j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["baseOffset"], 5000);
  EXPECT_EQ(j["deadBytes"], 11) << "neither the padding nor the table is the archive's";
  EXPECT_EQ(j["signature"], nlohmann::json({{"offset", exe.size() + 5}, {"size", 1536}}));
  const ToolRun text = pak({"info", path});
  EXPECT_NE(text.out.find("\nsignature         certificate table, 1536 bytes at " +
                          std::to_string(exe.size() + 5) + "\n"),
            std::string::npos)
      << text.out;
  EXPECT_EQ(nlohmann::json::parse(pak({"list", path, "--json"}).out).size(), 2u);
}

TEST_F(ListInfo, NamesThatCannotBeShownAreReported) {
  FixtureArchive a;
  a.members = {{"good.txt", bytes_of("g"), false, 0},
               {"bad\xFF\xFF.txt", bytes_of("b"), false, 0}};  // no Big5 character
  const std::string path = put("n.pak", pak_fixture_bytes(a));
  const ToolRun run = pak({"list", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.out.find("good.txt"), std::string::npos);
  EXPECT_NE(run.err.find("bad\\xFF\\xFF.txt"), std::string::npos) << run.err;
  const ToolRun raw = pak({"list", path, "--raw-names"});
  EXPECT_EQ(raw.code, 0);
  EXPECT_NE(raw.out.find("bad\xFF\xFF.txt"), std::string::npos);
  EXPECT_EQ(pak({"list", path, "--raw-names", "--json"}).code, 1) << "JSON text must be UTF-8";
}

TEST_F(ListInfo, InfoFieldsAndDeadBytes) {
  const FixtureLayout layout = pak_fixture_build(sample(false));
  const std::string path = put("s.pak", layout.bytes);
  const ToolRun run = pak({"info", path, "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  const nlohmann::json j = nlohmann::json::parse(run.out);
  const std::vector<std::string> keys = {"magic", "entryCount", "directoryOffset", "firstLetter",
                                         "lastLetter", "userValue", "packedDirectorySize",
                                         "baseOffset", "live", "deleted", "deadBytes",
                                         "signature"};
  std::vector<std::string> got;
  for (auto it = j.begin(); it != j.end(); ++it) got.push_back(it.key());
  std::sort(got.begin(), got.end());
  std::vector<std::string> want = keys;
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  EXPECT_EQ(j["magic"], "PAKS");
  EXPECT_EQ(j["entryCount"], 3);
  EXPECT_EQ(j["directoryOffset"], layout.directoryOffset);
  EXPECT_EQ(j["firstLetter"], "#");
  EXPECT_EQ(j["lastLetter"], "$");
  EXPECT_EQ(j["userValue"], 0xCAFE);
  EXPECT_EQ(j["packedDirectorySize"], 0);
  EXPECT_EQ(j["baseOffset"], 0);
  EXPECT_EQ(j["live"], 2);
  EXPECT_EQ(j["deleted"], 1);
  EXPECT_EQ(j["deadBytes"], 11 + 64) << "member bytes and the plain directory's entry";
  EXPECT_TRUE(j["signature"].is_null());

  // Compaction gives back exactly that.
  const ToolRun compact = pak({"compact", path});
  ASSERT_EQ(compact.code, 0) << compact.err;
  EXPECT_EQ(compact.out, path + ": 75 bytes reclaimed\n");
  EXPECT_EQ(nlohmann::json::parse(pak({"info", path, "--json"}).out)["deadBytes"], 0);

  const ToolRun text = pak({"info", path});
  EXPECT_NE(text.out.find("entries           2 (2 live, 0 deleted)\n"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("mount letters     # to $\n"), std::string::npos);
  EXPECT_NE(text.out.find("user value        51966 (0x0000CAFE)\n"), std::string::npos);
}

TEST_F(ListInfo, RefusesWhatIsNotAnArchive) {
  const std::string text = put("notes.txt", "not an archive at all, just words");
  for (const std::string command : {"list", "info", "verify", "extract"}) {
    SCOPED_TRACE(command);
    for (const std::string& path : {text, file("missing.pak"), dir_.path()}) {
      const ToolRun run = pak({command, path});
      EXPECT_EQ(run.code, 1);
      EXPECT_EQ(run.err.rfind("pak: " + path + ": ", 0), 0u) << run.err;
    }
  }
}

// The message names what recognition found, exactly.
TEST_F(ListInfo, SaysWhyAFileIsNoArchive) {
  Bytes exe = pak_fixture_executable(300);
  store_le32(&exe[296], 0x00FFFFFF);  // a locator pointing far past the file
  const struct {
    const char* name;
    Bytes bytes;
    const char* why;
  } cases[] = {
      {"short.exe", Bytes{1, 2}, "no archive locator at the end"},
      {"plain.exe", exe, "the archive locator at the end points outside the file"},
      {"words.pak", bytes_of("just words, and not enough"), "not a PAK archive (no \"PAKS\" header)"},
      {"tiny.pak", bytes_of("PAKS"), "too short to hold a PAK header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = put(c.name, c.bytes);
    const ToolRun run = pak({"list", path});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "pak: " + path + ": " + c.why + "\n");
  }
  EXPECT_EQ(pak({"info", file("missing.pak")}).err, "pak: " + file("missing.pak") + ": no such file\n");
  EXPECT_EQ(pak({"list", dir_.path()}).err, "pak: " + dir_.path() + ": is a folder\n");
}

}  // namespace
