// The settings text format end to end: tiny settings texts loaded from a file and the sections,
// keys and values they give, plus the item reader's kinds and cursor on its own.
#include <string>

#include "settings_fixture.h"

namespace {

struct FormatCase {
  const char* description;
  std::string text;
  const char* expected;  // settings_dump(): "[section] key=value key | [next] ..."
};

const FormatCase kFormatCases[] = {
    {"empty file", "", ""},
    {"game folder", "[INI]\r\nGAMEDIR=C:\\Game Dir  \r\n", "[INI] GAMEDIR=C:\\Game Dir"},
    {"last line without a line end", "[INI]\r\nGAMEDIR=C:\\G", "[INI] GAMEDIR=C:\\G"},
    {"blanks inside brackets belong to the name", "[ INI\t]\r\n", "[ INI\t]"},
    {"empty brackets", "[]\r\nk=1", "[] k=1"},
    {"header without its bracket ends at the CR", "[INI\r\nk=1", "[INI] k=1"},
    {"semicolon ends a section name", "[a;b]\r\n", "[a]"},
    {"two slashes end a section name", "[a//b]\r\n", "[a]"},
    {"equals sign ends a section name", "[a=b]\r\n", "[a]"},
    {"single slash stays in a section name", "[a/b]\r\n", "[a/b]"},
    {"rest of a header line is ignored", "[A] junk = 1\r\nk=v", "[A] k=v"},
    {"Big5 byte 0x5D ends a section name", "[\xB3\x5D\xA4\x40]\r\n", "[\xB3]"},
    {"key alone", "[S]\r\nkey\r\n", "[S] key"},
    {"key with equals sign only", "[S]\r\nkey =  \r\n", "[S] key"},
    {"line starting with equals sign", "[S]\r\n=value\r\n", "[S] =value"},
    {"space as separator", "[S]\r\nk v w\r\n", "[S] k=v w"},
    {"mixed separators count as one", "[S]\r\nk \t= =\tv\r\n", "[S] k=v"},
    {"equals sign inside a value stays", "[S]\r\nk=a=b\r\n", "[S] k=a=b"},
    {"trailing blanks trimmed, inner kept", "[S]\r\nk=\ta b \t \r\n", "[S] k=a b"},
    {"value ends before a semicolon", "[S]\r\nk=12 ; twelve\r\n", "[S] k=12"},
    {"value ends before two slashes", "[S]\r\nurl=http://x\r\n", "[S] url=http:"},
    {"single slash stays in a value", "[S]\r\np=a/b\r\n", "[S] p=a/b"},
    {"comment right after the name", "[S]\r\nk;c\r\nm//c\r\n", "[S] k m"},
    {"name holds brackets and hash", "[S]\r\nk[1]#x=1\r\n", "[S] k[1]#x=1"},
    {"quotes are ordinary bytes", "[S]\r\n\"k\"=\"v\"\r\n", "[S] \"k\"=\"v\""},
    {"single slash starts a key", "/k=1\r\n", "/k=1"},
    {"comments and blank lines between items",
     "; head\r\n  // note\r\n\r\n\t[S] \r\n;k=1\r\n  k=2\r\n", "[S] k=2"},
    {"comment runs to the LF", "[S]\r\n; a\rb=1\r\nk=2\r\n", "[S] k=2"},
    {"keys before the first header", "a=1\r\nb\r\n[S]\r\nc=3\r\n", "a=1 b | [S] c=3"},
    {"name on the first byte of the file", "GAMEDIR=C:\\G\r\n", "GAMEDIR=C:\\G"},
    {"sections and keys of one name are all kept", "[S]\r\nk=1\r\nk=2\r\n[s]\r\nk=3\r\n",
     "[S] k=1 k=2 | [s] k=3"},
    {"CR-only line ends: only the first item", "[S]\rk=1\rm=2\r", "[S]"},
    {"LF-only line ends: names and values run to the CR", "[S]\nk1=v1\nk2=v2\n",
     "[S] k1=v1\\nk2=v2\\n"},
    {"define line in a loaded file is a key", "[S]\r\n#define WIDTH 640\r\n",
     "[S] WIDTH=640"},
    {"define word in any case, equals sign", "[S]\r\n#DeFiNe W=0x10\r\n", "[S] W=0x10"},
    {"longer word beginning with define", "[S]\r\n#defines W 1\r\n", "[S] W=1"},
    {"define word ended by equals sign gives an empty name", "[S]\r\n#define=5\r\n", "[S] =5"},
    {"define word ended by semicolon", "[S]\r\n#define;x\r\nk=1\r\n", "[S]  k=1"},
    {"define with nothing after it yields nothing", "[S]\r\n#define\r\n#define  \t\r\nk=1",
     "[S] k=1"},
    {"other directives make no record", "[S]\r\n#pragma once\r\n# x\r\n#definitely 1\r\nk=1",
     "[S] k=1"},
    {"missing include is ignored", "[S]\r\n#include nothere.ini\r\nk=1", "[S] k=1"},
    {"NUL byte inside a value ends it", std::string("[S]\r\nk=a\0b\r\n", 12), "[S] k=a"},
};

TEST_F(SettingsTest, TextFormatTable) {
  for (const FormatCase& c : kFormatCases) {
    SCOPED_TRACE(c.description);
    reset();
    ASSERT_EQ(load(c.text), 1);
    EXPECT_EQ(settings_dump(), c.expected);
    // One zeroed record always follows the last used one.
    ASSERT_LT(g_settings.entryUsed, g_settings.entryCapacity);
    const SettingsEntry& after = settings_entry(g_settings.entryUsed);
    EXPECT_EQ(after.name | after.value | after.nextSection | after.nextKey, 0);
  }
}

// The item reader on its own: kinds, offsets from the base, NUL terminators and the cursor.
struct TokenCase {
  const char* description;
  std::string text;  // CR LF is appended as the loader does
  const char* expected;  // kind:name=value per item, space separated
};

const TokenCase kTokenCases[] = {
    {"nothing but blanks and comments", " \t\r\n; c\n// d\r\n", ""},
    {"section, key, directive", "[S]\r\nk=v\r\n#include a.ini\r\n", "1:S 2:k=v 3:include=a.ini"},
    {"directive without argument", "#pragma\r\n", "3:pragma"},
    {"directive argument read like a value", "#INCLUDE = a b ;c\r\n", "3:INCLUDE=a b"},
    {"hash and space: empty directive name", "# x\r\n", "3:=x"},
    {"define line is a key item", "#define X 5 // five\r\n", "2:X=5"},
    {"word too short for define", "#defin", "3:defin"},
};

std::string token_dump(std::string text) {
  text += "\r\n";
  std::string out;
  int32_t cursor = 0;
  const int32_t length = static_cast<int32_t>(text.size());
  for (;;) {
    int32_t name = -1;
    int32_t value = -1;
    const int32_t before = cursor;
    const int kind = SettingsNextToken(text.data(), &cursor, length, &name, &value, text.data());
    if (kind == SETTINGS_ITEM_END) {
      EXPECT_EQ(cursor, before);
      EXPECT_EQ(name, 0);
      EXPECT_EQ(value, 0);
      return out;
    }
    EXPECT_GT(cursor, before);
    // The cursor stops just past an LF.
    EXPECT_EQ(text[static_cast<size_t>(cursor - 1)], '\n');
    if (!out.empty()) out += " ";
    out += std::to_string(kind) + ":" + std::string(text.data() + name);
    if (value != 0) out += "=" + std::string(text.data() + value);
  }
}

TEST(SettingsNextToken, ItemKindsTable) {
  for (const TokenCase& c : kTokenCases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(token_dump(c.text), c.expected);
  }
}

TEST(SettingsNextToken, OffsetsAreFromTheBase) {
  std::string store = "xxxx[S]\r\nk=v\r\n";
  int32_t cursor = 0;
  int32_t name = 0;
  int32_t value = 0;
  EXPECT_EQ(SettingsNextToken(store.data() + 4, &cursor, 10, &name, &value, store.data()),
            SETTINGS_ITEM_SECTION);
  EXPECT_EQ(name, 5);
  EXPECT_EQ(SettingsNextToken(store.data() + 4, &cursor, 10, &name, &value, store.data()),
            SETTINGS_ITEM_KEY);
  EXPECT_EQ(name, 9);
  EXPECT_EQ(value, 11);
  EXPECT_EQ(std::string(store.data() + value), "v");
}

// Text handed over without its CR LF never makes the reader write or read past its length.
TEST(SettingsNextToken, TextWithoutLineEndStopsInside) {
  for (const char* text : {"[abc", "key=value", "#define X 1", "#include", "k = ", "; c"}) {
    SCOPED_TRACE(text);
    std::string buffer = std::string(text) + "!";  // a guard byte just past the length
    const int32_t length = static_cast<int32_t>(buffer.size() - 1);
    int32_t cursor = 0;
    int32_t name = 0;
    int32_t value = 0;
    EXPECT_EQ(SettingsNextToken(buffer.data(), &cursor, length, &name, &value, buffer.data()),
              SETTINGS_ITEM_END);
    EXPECT_EQ(buffer.back(), '!');
  }
}

}  // namespace
