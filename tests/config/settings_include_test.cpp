// Included files and defines: the three places an include is looked for, one level of
// inclusion, what included text yields, archive members as settings files, and running out of
// memory at any point of an include.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/pak_table.h"
#include "settings_fixture.h"
#include "support/pak_fixture.h"

namespace {

TEST_F(SettingsTest, IncludedKeyLinesBecomeDefines) {
  write("defs.inc",
        "; shared values\r\n"
        "[Ignored]\r\n"
        "#define WIDTH 640\r\n"
        "#DEFINE Mask=0x1F\r\n"
        "HEIGHT = 480 ; plain key lines count too\r\n"
        "#include nested.inc\r\n"
        "EMPTY\r\n");
  write("nested.inc", "#define NESTED 1\r\n");
  ASSERT_EQ(load("[S]\r\n#define LOCAL 5\r\n#include defs.inc\r\nk=1\r\n"), 1);
  // The define line of the loaded file is a key there; the include inside the included file
  // is not followed.
  EXPECT_EQ(settings_dump(), "[S] LOCAL=5 k=1");
  EXPECT_EQ(settings_dump_defines(), "WIDTH=640 Mask=0x1F HEIGHT=480 EMPTY");
}

TEST_F(SettingsTest, IncludeLookupPlaces) {
  ASSERT_TRUE(std::filesystem::create_directory(dir_.join("extra")));
  write("beside.inc", "BESIDE=1\r\n");
  write(std::string("extra") + TempDir::kSeparator + "extra.inc", "EXTRA=2\r\n");
  const std::string absolute = write("absolute.inc", "ABSOLUTE=3\r\n");

  // As written (absolute), in the settings folder, and not found without the extra folder.
  ASSERT_EQ(load("#include " + absolute + "\r\n#include beside.inc\r\n#include extra.inc\r\n"),
            1);
  EXPECT_EQ(settings_dump_defines(), "ABSOLUTE=3 BESIDE=1");

  reset();
  ASSERT_EQ(SettingsSetIncludeFolder(dir_.join("extra").c_str()), 1);
  ASSERT_EQ(load("#include extra.inc\r\n"), 1);
  EXPECT_EQ(settings_dump_defines(), "EXTRA=2");
}

TEST_F(SettingsTest, IncludeDirectiveVariants) {
  write("d.inc", "D=1\r\n");
  struct Case {
    const char* text;
    const char* defines;
  };
  const Case cases[] = {
      {"#InClUdE d.inc\r\n", "D=1"},
      {"#include=d.inc ; comment\r\n", "D=1"},
      {"#include\r\n#include ;d.inc\r\n", ""},       // no argument
      {"#includes d.inc\r\n#inc d.inc\r\n", ""},     // other directives
      {"#include missing.inc\r\n#include d.inc\r\n", "D=1"},
      {"#include d.inc\r\n#include d.inc\r\n", "D=1 D=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    reset();
    ASSERT_EQ(load(c.text), 1);
    EXPECT_EQ(settings_dump_defines(), c.defines);
    EXPECT_EQ(settings_dump(), "");
  }
}

TEST_F(SettingsTest, SelfIncludeIsReadOnce) {
  ASSERT_EQ(load("[S]\r\nk=1\r\n#include main.ini\r\n"), 1);
  EXPECT_EQ(settings_dump(), "[S] k=1");
  EXPECT_EQ(settings_dump_defines(), "k=1");
}

TEST_F(SettingsTest, DefinesAccumulateAcrossLoadsAndFirstWins) {
  write("one.inc", "X=1\r\n");
  write("two.inc", "X=2\r\nY=3\r\n");
  ASSERT_EQ(load("#include one.inc\r\n", "a.ini"), 1);
  ASSERT_EQ(load("#include two.inc\r\n", "b.ini"), 1);
  EXPECT_EQ(settings_dump_defines(), "X=1 X=2 Y=3");
  char value[16] = "";
  ASSERT_EQ(SettingsGetDefine(value, sizeof value, "x"), 1);
  EXPECT_STREQ(value, "1");
}

TEST_F(SettingsTest, IncludeNameTooLongForTheFolders) {
  // Too long to join with a folder, but found as written.
  const std::string deep = std::string(120, 'n');
  ASSERT_TRUE(std::filesystem::create_directory(dir_.join(deep)));
  const std::string inside = deep + TempDir::kSeparator + "d.inc";
  const std::string path = write(inside, "D=1\r\n");
  ASSERT_GT(path.size(), SETTINGS_FOLDER_ROOM);
  ASSERT_EQ(load("#include " + path + "\r\n#include " + inside + "\r\n"), 1);
  EXPECT_EQ(settings_dump_defines(), "D=1");

  EXPECT_EQ(SettingsSetIncludeFolder(std::string(63, 'f').c_str()), 1);
  EXPECT_EQ(SettingsSetIncludeFolder(std::string(64, 'g').c_str()), 0);
  EXPECT_EQ(std::string(g_settings.includeFolder), std::string(63, 'f'));
}

TEST_F(SettingsTest, SettingsFileAndIncludeAsArchiveMembers) {
  FixtureArchive archive;
  archive.firstLetter = archive.lastLetter = '@';
  archive.members = {{"@:\\main.ini", bytes_of("[Packed]\r\n#include defs.inc\r\nk=v\r\n")},
                     {"@:\\defs.inc", bytes_of("#define PACKED 0x10\r\n")}};
  const std::string pak = dir_.join("settings.pak");
  ASSERT_TRUE(write_file_bytes(pak, pak_fixture_bytes(archive)));
  const int slot = pak_open(pak.c_str(), PAK_OPEN_READ);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(SettingsLoad("@:\\main.ini"), 1);
  pak_close(slot);
  EXPECT_EQ(std::string(g_settings.folder), "@:\\");
  EXPECT_EQ(settings_dump(), "[Packed] k=v");
  int32_t number = 0;
  EXPECT_EQ(SettingsToNumber("PACKED", &number), 1);
  EXPECT_EQ(number, 16);
}

// Whether text (words separated by spaces) is a run of whole groups, some left out, in order.
bool whole_groups_in_order(const std::string& text, const std::vector<std::vector<std::string>>& groups) {
  std::vector<std::string> words;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  size_t w = 0;
  for (const std::vector<std::string>& group : groups) {
    if (w < words.size() && words[w] == group.front()) {
      for (const std::string& word : group) {
        if (w == words.size() || words[w++] != word) return false;
      }
    }
  }
  return w == words.size();
}

TEST_F(SettingsTest, EveryHeapFailureWhileIncludingLeavesAConsistentStore) {
  // a.inc is loaded beforehand; b.inc outgrows the first define records; c.inc comes last.
  std::vector<std::vector<std::string>> groups = {{"A=1"}, {}, {"C=3"}};
  std::string b;
  for (int i = 0; i < 70; ++i) {
    b += "B" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    groups[1].push_back("B" + std::to_string(i) + "=" + std::to_string(i));
  }
  write("a.inc", "A=1\r\n");
  write("b.inc", b);
  write("c.inc", "C=3\r\n");
  const auto prepare = [this] {
    reset();
    ASSERT_EQ(load("#include a.inc\r\n", "one.ini"), 1);
  };
  const auto step = [this] {
    return load("[S]\r\n#include b.inc\r\n#include c.inc\r\nk=1\r\n", "two.ini");
  };
  std::vector<std::string> outcomes;
  sweep_heap_failures(prepare, step, [&](int result, const HeapFault&) {
    const std::string entries = settings_dump();
    const std::string defines = settings_dump_defines();
    if (result == 0) {
      EXPECT_EQ(g_settings.text, nullptr);
      EXPECT_EQ(entries, "");
    } else {
      // The entry table is whole or emptied, never half filled.
      EXPECT_TRUE(entries == "[S] k=1" || (entries == "" && g_settings.entries == nullptr))
          << entries;
    }
    // Each included file's defines are all there or all gone, in order; queries agree.
    EXPECT_TRUE(whole_groups_in_order(defines, groups)) << defines;
    char value[8] = "";
    EXPECT_EQ(SettingsGetDefine(value, sizeof value, "A"), defines.rfind("A=1", 0) == 0 ? 1 : 0);
    EXPECT_EQ(SettingsGetDefine(value, sizeof value, "C"), defines.find("C=3") != std::string::npos ? 1 : 0);
    int32_t number = 0;
    EXPECT_EQ(SettingsToNumber("B69", &number), defines.find("B69=69") != std::string::npos ? 1 : 0);
    outcomes.push_back(std::to_string(result) + " " + entries + " / " + defines);
  });
  // Among the outcomes: the text not stored; an include store or define table lost while
  // loading went on to c.inc; every define lost while the entries were kept.
  const auto seen = [&](const std::string& start) {
    return std::any_of(outcomes.begin(), outcomes.end(),
                       [&](const std::string& o) { return o.rfind(start, 0) == 0; });
  };
  EXPECT_TRUE(seen("0 "));
  EXPECT_TRUE(seen("1 [S] k=1 / C=3"));
  EXPECT_NE(std::find(outcomes.begin(), outcomes.end(), "1 [S] k=1 / "), outcomes.end());
}

}  // namespace
