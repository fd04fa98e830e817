// Settings queries: finding sections and keys by name and occurrence, defines and numbers,
// walking and counting, bounded copies, and handles that name no record.
#include <cstring>
#include <string>

#include "settings_fixture.h"

namespace {

class SettingsQueryTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    write("defs.inc",
          "#define MASK 0x1F\r\n"
          "#define ALIAS MASK\r\n"
          "#define TWICE 1\r\n"
          "#define TWICE 2\r\n"
          "#define BLANK\r\n");
    ASSERT_EQ(load("lead=0\r\n"
                   "#include defs.inc\r\n"
                   "[INI]\r\n"
                   "GAMEDIR=C:\\Velmor Game  \r\n"
                   "EMPTY\r\n"
                   "NUM=12 ; twelve\r\n"
                   "HEX=0x10//sixteen\r\n"
                   "BYDEF=MASK\r\n"
                   "CHAIN=ALIAS\r\n"
                   "TEXT=abc\r\n"
                   "NUM=13\r\n"
                   "[ INI ]\r\n"
                   "[Other]\r\n"
                   "ONLYHERE=1\r\n"
                   "[ini]\r\n"
                   "GAMEDIR=second\r\n"),
              1);
    ini_ = SettingsFindSection("INI", 1);
    ASSERT_NE(ini_, 0);
  }
  int32_t ini_ = 0;
};

TEST_F(SettingsQueryTest, FindSectionByNameAndOccurrence) {
  struct Case {
    const char* name;
    int occurrence;
    const char* found;  // name of the section found, or null for none
    int nth;            // which of the sections of that name, counted in load order
  };
  const Case cases[] = {
      {"INI", 1, "INI", 1},  {"ini", 1, "INI", 1}, {"INI", 2, "ini", 2}, {"INI", 3, nullptr, 0},
      {"INI", 0, "INI", 1},  {"INI", -5, "INI", 1}, {" INI ", 1, " INI ", 1},
      {"Other", 1, "Other", 1}, {"Missing", 1, nullptr, 0},
      {"lead", 1, nullptr, 0},  // the key before the first header is not a section
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " #" + std::to_string(c.occurrence));
    const int32_t h = SettingsFindSection(c.name, c.occurrence);
    if (c.found == nullptr) {
      EXPECT_EQ(h, 0);
      continue;
    }
    ASSERT_NE(h, 0);
    EXPECT_EQ(settings_entry_text(settings_entry(h - 1).name), c.found);
  }
  EXPECT_EQ(SettingsFindSection(nullptr, 1), 0);
}

TEST_F(SettingsQueryTest, GetKeyByNameAndOccurrence) {
  struct Case {
    const char* name;  // null: any key
    int occurrence;
    const char* value;  // null: not found
  };
  const Case cases[] = {
      {"GAMEDIR", 1, "C:\\Velmor Game"}, {"gamedir", 1, "C:\\Velmor Game"},
      {"GAMEDIR", 2, nullptr},  // the second section of that name holds the other one
      {"NUM", 1, "12"}, {"NUM", 2, "13"}, {"NUM", 0, "12"}, {"NUM", 3, nullptr},
      {"EMPTY", 1, ""}, {"ONLYHERE", 1, nullptr}, {"lead", 1, nullptr},
      {nullptr, 1, "C:\\Velmor Game"}, {nullptr, 2, ""}, {nullptr, 3, "12"},
      {nullptr, 8, "13"}, {nullptr, 9, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name ? c.name : "(any)") + " #" + std::to_string(c.occurrence));
    char buffer[64] = "untouched";
    const char* got = SettingsGetKey(c.name, c.occurrence, ini_, buffer, sizeof buffer);
    if (c.value == nullptr) {
      EXPECT_EQ(got, nullptr);
      EXPECT_STREQ(buffer, "untouched");
    } else {
      ASSERT_NE(got, nullptr);
      EXPECT_STREQ(got, c.value);
      EXPECT_STREQ(buffer, c.value);
    }
  }
  // Keys of the first section are not seen through the second's handle.
  char buffer[64] = "";
  EXPECT_STREQ(SettingsGetKey("GAMEDIR", 1, SettingsFindSection("INI", 2), buffer, 64), "second");
  EXPECT_EQ(SettingsGetKey("NUM", 1, SettingsFindSection("INI", 2), buffer, 64), nullptr);
  // Without a destination the pointer into the store is still given.
  EXPECT_STREQ(SettingsGetKey("TEXT", 1, ini_, nullptr, 0), "abc");
}

TEST_F(SettingsQueryTest, CopiesAreBoundedByTheRoomGiven) {
  char small[14] = "untouched";
  EXPECT_EQ(SettingsGetKey("GAMEDIR", 1, ini_, small, sizeof small), nullptr);  // 15 bytes
  EXPECT_STREQ(small, "untouched");
  char exact[15] = "";
  EXPECT_STREQ(SettingsGetKey("GAMEDIR", 1, ini_, exact, sizeof exact), "C:\\Velmor Game");

  char name[4] = "n";
  char value[4] = "v";
  const int32_t first = SettingsNextEntry(ini_, name, sizeof name, value, sizeof value);
  EXPECT_EQ(first, 0);  // "GAMEDIR" does not fit: neither buffer is touched
  EXPECT_STREQ(name, "n");
  EXPECT_STREQ(value, "v");
  EXPECT_NE(SettingsNextEntry(ini_, nullptr, 0, nullptr, 0), 0);

  char define[4] = "d";
  EXPECT_EQ(SettingsGetDefine(define, sizeof define, "MASK"), 0);  // "0x1F" needs 5 bytes
  EXPECT_STREQ(define, "d");
}

TEST_F(SettingsQueryTest, Defines) {
  struct Case {
    const char* name;
    int found;
    const char* value;
  };
  const Case cases[] = {{"MASK", 1, "0x1F"}, {"mask", 1, "0x1F"}, {"TWICE", 1, "1"},
                        {"BLANK", 1, ""},    {"NONE", 0, "x"},     {"INI", 0, "x"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char value[16] = "x";
    EXPECT_EQ(SettingsGetDefine(value, sizeof value, c.name), c.found);
    EXPECT_STREQ(value, c.value);
  }
}

TEST_F(SettingsQueryTest, Numbers) {
  struct Case {
    const char* key;
    int ok;
    int32_t value;
  };
  const Case cases[] = {
      {"NUM", 1, 12},    // the comment and the space before it are not part of the value
      {"HEX", 1, 16},    {"BYDEF", 1, 31},  // a define with a hexadecimal value
      {"CHAIN", 0, 0},   // a define naming another define does not resolve
      {"TEXT", 0, 0},    {"EMPTY", 0, 0},   {"MISSING", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    int32_t result = -99;
    EXPECT_EQ(SettingsGetKeyNumber(c.key, 1, ini_, &result), c.ok);
    EXPECT_EQ(result, c.ok ? c.value : -99);
  }
  int32_t result = 0;
  EXPECT_EQ(SettingsToNumber("TWICE", &result), 1);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(SettingsToNumber("-0x10", &result), 1);
  EXPECT_EQ(result, -16);
  EXPECT_EQ(SettingsToNumber("NONE", &result), 0);
  EXPECT_EQ(SettingsToNumber(nullptr, &result), 0);
}

TEST_F(SettingsTest, NumbersOfLongValues) {
  // A value read as a number must fit in 128 bytes with its terminator.
  const std::string fits = std::string(125, '0') + "42";    // 127 characters
  const std::string tooLong = std::string(126, '0') + "42";  // 128 characters
  write("d.inc", "FITS " + fits + "\r\nLONG " + tooLong + "\r\n");
  ASSERT_EQ(load("#include d.inc\r\n[S]\r\nfits=" + fits + "\r\nlong=" + tooLong +
                 "\r\nbyfits=FITS\r\nbylong=LONG\r\n"),
            1);
  const int32_t s = SettingsFindSection("S", 1);
  struct Case {
    const char* key;
    int ok;
  };
  for (const Case& c : {Case{"fits", 1}, Case{"long", 0}, Case{"byfits", 1}, Case{"bylong", 0}}) {
    SCOPED_TRACE(c.key);
    int32_t result = -1;
    EXPECT_EQ(SettingsGetKeyNumber(c.key, 1, s, &result), c.ok);
    EXPECT_EQ(result, c.ok ? 42 : -1);
  }
}

TEST_F(SettingsQueryTest, WalkingSections) {
  // From the start, the first section is compared too; each result leads to the next.
  std::string seen;
  for (int32_t h = SettingsFindNextSection("ini", 0); h != 0; h = SettingsFindNextSection("ini", h)) {
    seen += settings_entry_text(settings_entry(h - 1).name) + ";";
  }
  EXPECT_EQ(seen, "INI;ini;");

  // Listing every section after the first record, names copied out.
  seen.clear();
  char name[32];
  for (int32_t h = SettingsNextSection(1, name, sizeof name); h != 0;
       h = SettingsNextSection(h, name, sizeof name)) {
    seen += std::string(name) + ";";
  }
  EXPECT_EQ(seen, "INI; INI ;Other;ini;");

  EXPECT_EQ(SettingsCountSections(nullptr, 1), 4);  // the leading key is not a section
  EXPECT_EQ(SettingsCountSections("INI", 1), 2);
  EXPECT_EQ(SettingsCountSections("ini", SettingsFindSection("ini", 2)), 1);
  EXPECT_EQ(SettingsCountSections(nullptr, SettingsFindSection("Other", 1)), 2);
}

TEST_F(SettingsQueryTest, WalkingAndCountingKeys) {
  std::string seen;
  char name[32];
  char value[32];
  for (int32_t h = SettingsNextEntry(ini_, name, sizeof name, value, sizeof value); h != 0;
       h = SettingsNextEntry(h, name, sizeof name, value, sizeof value)) {
    seen += std::string(name) + "=" + value + ";";
  }
  EXPECT_EQ(seen,
            "GAMEDIR=C:\\Velmor Game;EMPTY=;NUM=12;HEX=0x10;BYDEF=MASK;CHAIN=ALIAS;TEXT=abc;"
            "NUM=13;");
  EXPECT_EQ(SettingsCountKeys(nullptr, ini_), 8);
  EXPECT_EQ(SettingsCountKeys("num", ini_), 2);
  EXPECT_EQ(SettingsCountKeys(nullptr, SettingsFindSection(" INI ", 1)), 0);
  // The leading key is followed by a section header, not by keys.
  EXPECT_EQ(SettingsCountKeys(nullptr, 1), 0);
}

TEST_F(SettingsQueryTest, HandlesThatNameNoRecord) {
  const int32_t bad[] = {0, -1, 2, ini_ + 8, g_settings.entryUsed + 1, INT32_MIN, INT32_MAX};
  for (int32_t h : bad) {
    SCOPED_TRACE(h);
    char buffer[8] = "x";
    int32_t number = 0;
    EXPECT_EQ(SettingsGetKey(nullptr, 1, h, buffer, sizeof buffer), nullptr);
    EXPECT_EQ(SettingsGetKeyNumber(nullptr, 1, h, &number), 0);
    EXPECT_EQ(SettingsNextSection(h, buffer, sizeof buffer), 0);
    EXPECT_EQ(SettingsNextEntry(h, buffer, sizeof buffer, nullptr, 0), 0);
    EXPECT_EQ(SettingsCountSections(nullptr, h), 0);
    EXPECT_EQ(SettingsCountKeys(nullptr, h), 0);
    if (h != 0) {
      EXPECT_EQ(SettingsFindNextSection("INI", h), 0);
    }
    EXPECT_STREQ(buffer, "x");
  }
}

TEST_F(SettingsTest, EmptyStoreFindsNothing) {
  char buffer[8] = "x";
  int32_t number = 0;
  EXPECT_EQ(SettingsFindSection("INI", 1), 0);
  EXPECT_EQ(SettingsFindNextSection("INI", 0), 0);
  EXPECT_EQ(SettingsGetKey("K", 1, 1, buffer, sizeof buffer), nullptr);
  EXPECT_EQ(SettingsGetDefine(buffer, sizeof buffer, "K"), 0);
  EXPECT_EQ(SettingsToNumber("K", &number), 0);
  EXPECT_EQ(SettingsNextSection(1, buffer, sizeof buffer), 0);
  EXPECT_EQ(SettingsCountSections(nullptr, 1), 0);
  EXPECT_STREQ(buffer, "x");
  // An empty file loaded leaves it so.
  ASSERT_EQ(load(""), 1);
  EXPECT_EQ(SettingsFindSection("", 1), 0);
}

TEST_F(SettingsTest, FirstRecordSectionIsFound) {
  ASSERT_EQ(load("[INI]\r\nGAMEDIR=C:\\G\r\n"), 1);
  const int32_t h = SettingsFindSection("INI", 1);
  ASSERT_EQ(h, 1);
  char gameFolder[260] = "";
  SettingsGetKey("GAMEDIR", 1, h, gameFolder, sizeof gameFolder);
  EXPECT_STREQ(gameFolder, "C:\\G");
  EXPECT_EQ(SettingsCountSections(nullptr, h), 1);
  // Searching from the start compares the first record too.
  EXPECT_EQ(SettingsFindNextSection("ini", 0), 1);
  EXPECT_EQ(SettingsFindNextSection("ini", 1), 0);
}

}  // namespace
