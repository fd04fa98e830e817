// Path helpers: directory, file and extension parts (also in place), extension replacement,
// the trailing separator within the buffer's room, and command-line words or the program's
// own path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/host.h"
#include "host/path.h"

namespace {

#ifdef _WIN32
constexpr bool kSlashSeparates = false;
#else
constexpr bool kSlashSeparates = true;
#endif

TEST(Path, Separators) {
  EXPECT_TRUE(path_is_separator(':'));
  EXPECT_TRUE(path_is_separator('\\'));
  EXPECT_EQ(path_is_separator('/'), kSlashSeparates);
  for (char c : {'a', '.', ' ', '\0', '\xA5', '*'}) EXPECT_FALSE(path_is_separator(c)) << int(c);
}

struct SplitCase {
  const char* source;
  const char* dir;
  const char* file;
};


const SplitCase kSplits[] = {
    {"C:\\GAME\\A.EXE", "C:\\GAME\\", "A.EXE"},
    {"#:Name", "#:", "Name"},
    {"NAME", "", "NAME"},
    {"C:\\GAME\\", "C:\\GAME\\", ""},
    {"\\", "\\", ""},
    {"a:b\\c:d", "a:b\\c:", "d"},
    {"#:\\Update.PAK", "#:\\", "Update.PAK"},
    {"/tmp/x", kSlashSeparates ? "/tmp/" : "", kSlashSeparates ? "x" : "/tmp/x"},
};

TEST(Path, DirPart) {
  for (const SplitCase& c : kSplits) {
    SCOPED_TRACE(c.source);
    char out[HOST_PATH_ROOM];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(path_dir_part(out, c.source), out);
    EXPECT_STREQ(out, c.dir);
    char inPlace[HOST_PATH_ROOM];
    strcpy(inPlace, c.source);
    EXPECT_EQ(path_dir_part(inPlace, inPlace), inPlace);
    EXPECT_STREQ(inPlace, c.dir);
  }
}

TEST(Path, DirPartOfAnEmptyPathIsEmptyAndNull) {
  char out[8] = "junk";
  EXPECT_EQ(path_dir_part(out, ""), nullptr);
  EXPECT_STREQ(out, "");
}

TEST(Path, FilePart) {
  for (const SplitCase& c : kSplits) {
    SCOPED_TRACE(c.source);
    char out[HOST_PATH_ROOM];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(path_file_part(out, c.source), static_cast<int>(strlen(c.file) + 1));
    EXPECT_STREQ(out, c.file);
    char inPlace[HOST_PATH_ROOM];
    strcpy(inPlace, c.source);
    path_file_part(inPlace, inPlace);
    EXPECT_STREQ(inPlace, c.file);
  }
  char out[4] = "abc";
  EXPECT_EQ(path_file_part(out, ""), 1);
  EXPECT_STREQ(out, "");
}

TEST(Path, Extension) {
  struct {
    const char* source;
    const char* extension;
    int result;
  } const cases[] = {
      {"A.B.C", "B.C", 4},
      {"C:\\GAME\\Update.PAK", "PAK", 4},
      {"C:\\DIR.X\\FILE", "", 0},  // a dot in the folder does not count
      {"NAME", "", 0},
      {"", "", 0},
      {"FILE.", "", 1},
      {".hidden", "hidden", 7},
      {"#:\\a.txt", "txt", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    char out[HOST_PATH_ROOM];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(path_extension(out, c.source), c.result);
    EXPECT_STREQ(out, c.extension);
    char inPlace[HOST_PATH_ROOM];
    strcpy(inPlace, c.source);
    EXPECT_EQ(path_extension(inPlace, inPlace), c.result);
    EXPECT_STREQ(inPlace, c.extension);
  }
}

TEST(Path, AddSlash) {
  struct {
    const char* path;
    size_t room;
    const char* expected;
    int result;
  } const cases[] = {
      {"", 8, "", 0},
      {"C:\\GAME", 16, "C:\\GAME\\", 0},
      {"C:\\GAME\\", 16, "C:\\GAME\\", 0},
      {"C:", 4, "C:\\", 0},
      {"#:", 3, "#:", -1},  // no room for the separator and the terminator
      {"abc", 5, "abc\\", 0},
      {"abc", 4, "abc", -1},
      {"/tmp/", 8, kSlashSeparates ? "/tmp/" : "/tmp/\\", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " room " << c.room);
    char buffer[32];
    memset(buffer, 'x', sizeof buffer);
    strcpy(buffer, c.path);
    EXPECT_EQ(path_add_slash(buffer, c.room), c.result);
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(buffer[c.room], 'x') << "nothing written past the room";
  }
}

TEST(Path, AddSlashRefusesAnUnterminatedBuffer) {
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(path_add_slash(buffer, sizeof buffer), -1);
  EXPECT_EQ(memcmp(buffer, "abcd", 4), 0);
}

TEST(Path, CommandLineWords) {
  struct {
    const char* commandLine;
    int n;
    const char* expected;
  } const cases[] = {
      {"-x  /y z", 1, "x"},
      {"-x  /y z", 2, "y"},
      {"-x  /y z", 3, "z"},
      {"-x  /y z", 4, ""},
      {"", 1, ""},
      {"    ", 1, ""},
      {nullptr, 1, ""},
      {"a b", -1, ""},
      {"--long", 1, "-long"},  // only one mark is dropped
      {"\"two words\" b", 1, "\"two"},
      {"\"two words\" b", 2, "words\""},
      {"- a", 1, ""},
      {"- a", 2, "a"},
      {"tab\there", 1, "tab\there"},
      {"  lead trail  ", 2, "trail"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.commandLine ? c.commandLine : "(null)") << " #" << c.n);
    char out[HOST_PATH_ROOM];
    memset(out, 'x', sizeof out);
    get_arg_or_module_path(c.commandLine, c.n, out, sizeof out);
    EXPECT_STREQ(out, c.expected);
  }
}

TEST(Path, AWordThatDoesNotFitLeavesTheResultEmpty) {
  char out[8];
  memset(out, 'x', sizeof out);
  get_arg_or_module_path("abcdef", 1, out, 7);
  EXPECT_STREQ(out, "abcdef");
  get_arg_or_module_path("abcdefg", 1, out, 7);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(out[7], 'x');
  get_arg_or_module_path("abc", 1, out, 0);  // no room at all: nothing written
  EXPECT_EQ(out[0], '\0');
}

TEST(Path, WordZeroIsTheProgramsOwnPath) {
  char expected[HOST_PATH_ROOM];
  ASSERT_GT(host_module_path(expected, sizeof expected), 0u);
  char out[HOST_PATH_ROOM];
  get_arg_or_module_path("ignored words", 0, out, sizeof out);
  EXPECT_STREQ(out, expected);
  char small[4] = "abc";
  get_arg_or_module_path(nullptr, 0, small, sizeof small);
  EXPECT_STREQ(small, "");
}

TEST(PathReplaceExtension, ReplacesOnlyTheFilePartsExtension) {
  struct Case {
    const char* path;
    size_t room;
    int result;
    const char* expected;
  };
  const Case cases[] = {
      {"GAME\\Update.PAK", 128, 0, "GAME\\Update.BAK"},
      {"README", 128, 0, "README.BAK"},
      {"a.b.c", 128, 0, "a.b.BAK"},
      {"OLD.V2\\Update", 128, 0, "OLD.V2\\Update.BAK"},
      {"#:Name.txt", 128, 0, "#:Name.BAK"},
      {"C:\\x.", 128, 0, "C:\\x.BAK"},
      {"ab.pak", 7, 0, "ab.BAK"},       // exactly fits with its terminator
      {"abc.pak", 7, -1, "abc.pak"},    // one byte too long: unchanged
      {"abcdef", 10, -1, "abcdef"},     // appending would not fit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    char buffer[128] = {};
    std::strcpy(buffer, c.path);
    EXPECT_EQ(path_replace_extension(buffer, c.room, ".BAK"), c.result);
    EXPECT_STREQ(buffer, c.expected);
  }
}

}  // namespace
