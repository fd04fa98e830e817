// Paths walked by character: names whose double-byte characters end in each troublesome trail
// byte ('\', '|', letters of both cases, '[', ']', '~') through every path helper, under code
// pages 950 (Big5), 932 (Shift-JIS) and 1252 (single-byte: byte by byte, as always).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/path.h"

namespace {

// Characters of 950 and 932 whose second byte is the one named; in 1252 both bytes are
// characters of their own.
struct Trail {
  const char* what;
  const char* big5;       // one character in 950
  const char* shiftJis;   // one character in 932
};
const Trail kTrails[] = {
    {"0x5C '\\'", "\xB3\x5C", "\x95\x5C"},  // 許 ; 表
    {"0x7C '|'", "\xA5\x7C", "\x83\x7C"},
    {"0x48 'H'", "\xA4\x48", "\x82\x48"},   // 人
    {"0x68 'h'", "\xA4\x68", "\x82\x68"},   // 士
    {"0x5B '['", "\xA4\x5B", "\x83\x5B"},
    {"0x5D ']'", "\xA4\x5D", "\x83\x5D"},
    {"0x7E '~'", "\xA4\x7E", "\x83\x7E"},
};

class PathChars : public testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override { path_set_code_page(GetParam()); }
  void TearDown() override { path_set_code_page(0); }
  const char* character(const Trail& t) const { return GetParam() == 932 ? t.shiftJis : t.big5; }
  bool doubleByte() const { return GetParam() != 1252; }
};

TEST_P(PathChars, EveryHelperKeepsTheCharacterWhole) {
  for (const Trail& t : kTrails) {
    SCOPED_TRACE(t.what);
    const std::string ch = character(t);
    const bool trailIsSlash = ch[1] == '\\';
    // A folder whose last character ends in the byte: "C:\遊\<ch>".
    const std::string folder = "C:\\G\\" + ch;
    char path[64];
    std::strcpy(path, folder.c_str());
    ASSERT_EQ(path_add_slash(path, sizeof path), 0);
    const bool slashAdded = std::strlen(path) == folder.size() + 1;
    EXPECT_EQ(slashAdded, doubleByte() || !trailIsSlash);

    const std::string file = folder + "\\Velmor.EXE";
    char out[64];
    path_dir_part(out, file.c_str());
    EXPECT_EQ(std::string(out), folder + "\\");
    EXPECT_EQ(path_dir_length(file.c_str()), folder.size() + 1);
    path_file_part(out, file.c_str());
    EXPECT_STREQ(out, "Velmor.EXE");

    // A file named by the character alone, its extension after it.
    const std::string named = "C:\\" + ch + ".txt";
    path_file_part(out, named.c_str());
    EXPECT_EQ(std::string(out), doubleByte() || !trailIsSlash ? ch + ".txt" : ".txt");
    path_extension(out, named.c_str());
    EXPECT_STREQ(out, "txt");

    // Folding never touches the trail byte.
    std::string upper = ch, lower = ch;
    upper[1] = char(std::toupper(static_cast<unsigned char>(ch[1])));
    lower[1] = char(std::tolower(static_cast<unsigned char>(ch[1])));
    const bool letter = upper != lower;
    EXPECT_EQ(path_same_ignoring_case(upper.c_str(), lower.c_str()), !letter || !doubleByte());
    EXPECT_EQ(path_same_ignoring_case((ch + "A.TXT").c_str(), (ch + "a.txt").c_str()), true);

    // Wildcards: '*' runs over the character, '?' takes it whole.
    EXPECT_TRUE(path_name_matches_in("*.txt", (ch + ".txt").c_str(), GetParam()));
    EXPECT_EQ(path_name_matches_in("?.txt", (ch + ".txt").c_str(), GetParam()), doubleByte());
    EXPECT_EQ(path_name_matches_in("??.txt", (ch + ".txt").c_str(), GetParam()), !doubleByte());
    if (letter) {
      EXPECT_EQ(path_name_matches_in((upper + ".txt").c_str(), (lower + ".txt").c_str(), GetParam()),
                !doubleByte());
    }
  }
}

TEST_P(PathChars, CutsNeverPartACharacter) {
  const std::string name = std::string("ab") + character(kTrails[0]) + "c";
  EXPECT_EQ(path_fit_length(name.c_str(), 2, GetParam()), 2u);
  EXPECT_EQ(path_fit_length(name.c_str(), 3, GetParam()), doubleByte() ? 2u : 3u);
  EXPECT_EQ(path_fit_length(name.c_str(), 4, GetParam()), 4u);
  EXPECT_EQ(path_fit_length(name.c_str(), 99, GetParam()), name.size());
  // A lead byte at the very end stands alone.
  EXPECT_EQ(path_char_bytes("\xA4", GetParam()), 1u);
  EXPECT_EQ(path_char_bytes("", GetParam()), 0u);
}

TEST_P(PathChars, FoldedOrderOfNames) {
  const unsigned cp = GetParam();
  const char* people = "\xA4\x48.txt";   // 人 in Big5
  const char* scholar = "\xA4\x68.txt";  // 士 in Big5
  EXPECT_EQ(path_compare_folded(people, scholar, 40, cp) == 0, cp == 1252 || cp == 932);
  EXPECT_EQ(path_compare_folded("README.TXT", "readme.txt", 40, cp), 0);
  EXPECT_LT(path_compare_folded("_", "a", 40, cp), 0);
  EXPECT_GT(path_compare_folded("\x80", "z", 40, cp), 0);
}

// Names folded once into keys order exactly as the folding comparison orders them: every pair
// of a set that holds each troublesome trail byte, case pairs, a lead byte at the last place
// and one before the terminator, and names cut by the limit.
TEST_P(PathChars, FoldedKeysOrderAsTheFoldingComparison) {
  const unsigned cp = GetParam();
  constexpr size_t kLimit = 12;
  std::vector<std::string> names = {"", "a", "A", "README.TXT", "readme.txt", "_", "\x80", "z",
                                    "abcdefghijklXYZ", "ABCDEFGHIJKLxyz", "abcdefghijk\xA4",
                                    "abcdefghijk\xA4\x48", std::string("x\xA4\0", 3)};
  for (const Trail& t : kTrails) {
    names.push_back(std::string(character(t)) + "b");
    names.push_back(std::string(character(t)) + "B");
    names.push_back("a" + std::string(character(t)));
  }
  for (const std::string& a : names) {
    for (const std::string& b : names) {
      char ka[kLimit], kb[kLimit];
      path_fold_key(a.c_str(), kLimit, cp, ka);
      path_fold_key(b.c_str(), kLimit, cp, kb);
      const int byKeys = memcmp(ka, kb, kLimit);
      const int byNames = path_compare_folded(a.c_str(), b.c_str(), kLimit, cp);
      EXPECT_EQ(byKeys < 0, byNames < 0) << '"' << a << "\" \"" << b << '"';
      EXPECT_EQ(byKeys == 0, byNames == 0) << '"' << a << "\" \"" << b << '"';
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodePages, PathChars, testing::Values(950u, 932u, 1252u));

TEST(PathCodePages, LeadBytes) {
  EXPECT_TRUE(path_is_lead_byte(950, 0x81));
  EXPECT_TRUE(path_is_lead_byte(950, 0xFE));
  EXPECT_FALSE(path_is_lead_byte(950, 0x80));
  EXPECT_FALSE(path_is_lead_byte(950, 0xFF));
  EXPECT_TRUE(path_is_lead_byte(932, 0x9F));
  EXPECT_FALSE(path_is_lead_byte(932, 0xA0));  // half-width katakana stand alone
  EXPECT_TRUE(path_is_lead_byte(932, 0xE0));
  EXPECT_TRUE(path_is_lead_byte(936, 0xB0));
  EXPECT_TRUE(path_is_lead_byte(949, 0xB0));
  for (unsigned cp : {1252u, 1251u, 65001u, 874u}) EXPECT_FALSE(path_is_lead_byte(cp, 0xB3)) << cp;
}

}  // namespace
