// Included files and defines: the three places an include is looked for, one level of
// inclusion, what included text yields, archive members as settings files, and running out of
// memory for the include store or the define table.
#include <filesystem>
#include <string>

#include "archive/pak_table.h"
#include "settings_fixture.h"
#include "support/fault_injection.h"
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

TEST_F(SettingsTest, IncludeStoreOutOfMemorySkipsThatFile) {
  write("a.inc", "A=1\r\n");
  write("b.inc", "B=2\r\n");
  write("c.inc", "C=3\r\n");
  ASSERT_EQ(load("#include a.inc\r\n", "one.ini"), 1);
  ASSERT_EQ(settings_dump_defines(), "A=1");
  {
    // The text store grows (realloc 1); the include store cannot grow for b.inc (realloc 2).
    HostFaults faults;
    faults.fail(HostOp::Realloc, 2);
    ASSERT_EQ(load("[S]\r\n#include b.inc\r\n#include c.inc\r\nk=1\r\n", "two.ini"), 1);
  }
  // Loading went on: c.inc starts a new include store, and the defines that pointed into the
  // released one are gone with it.
  EXPECT_EQ(settings_dump(), "[S] k=1");
  EXPECT_EQ(settings_dump_defines(), "C=3");
  char value[8] = "";
  EXPECT_EQ(SettingsGetDefine(value, sizeof value, "A"), 0);
}

TEST_F(SettingsTest, DefineTableOutOfMemoryLosesDefinesButLoads) {
  write("a.inc", "A=1\r\n");
  HostFaults faults;
  faults.fail(HostOp::Alloc, 4);  // text, entries, include store, then the define table
  ASSERT_EQ(load("[S]\r\n#include a.inc\r\nk=1\r\n"), 1);
  EXPECT_EQ(faults.calls(HostOp::Alloc), 4);
  EXPECT_EQ(settings_dump(), "[S] k=1");
  EXPECT_EQ(g_settings.defines, nullptr);
  EXPECT_EQ(g_settings.defineUsed, 0);
  int32_t number = 0;
  EXPECT_EQ(SettingsToNumber("A", &number), 0);
}

}  // namespace
