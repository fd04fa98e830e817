// The POSIX host layer's code page: Big5 paths through every host call reach the disk as the
// UTF-8 names Wine writes, names the code page cannot spell are refused or skipped, conversion
// growth stays inside the path buffers, and the code page follows the locale as Wine's does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/code_page.h"
#include "host/host.h"
#include "posix_helpers.h"
#include "support/temp_dir.h"

namespace {

// The same names in code page 950 and in UTF-8. 許 ends in 0x5C, the byte of '\'.
constexpr char GAMES_BIG5[] = "\xB9\x43\xC0\xB8";  // 遊戲
constexpr char GAMES[] = "遊戲";
constexpr char PERMIT_BIG5[] = "\xB3\x5C\xA5\x69.txt";  // 許可.txt
constexpr char PERMIT[] = "許可.txt";
constexpr char UPDATE_BIG5[] = "\xA7\xF3\xB7\x73.txt";  // 更新.txt
constexpr char UPDATE[] = "更新.txt";
constexpr char HANGUL[] = "한.txt";  // no form in code page 950

std::string all_found(const std::string& pattern, uint32_t mask) {
  std::string names;
  char name[HOST_PATH_ROOM];
  for (int r = host_find_first(pattern.c_str(), mask, name); r == 0; r = host_find_next(name)) {
    names += std::string(name) + "|";
  }
  return names;
}

TEST(CodePage, Big5PathsReachTheDiskAsUtf8ThroughEveryCall) {
  ScopedCodePage big5(950);
  TempDir dir;
  const std::string folder = dir.path() + "\\" + GAMES_BIG5;
  const std::string permit = folder + "\\" + PERMIT_BIG5;
  const std::string update = folder + "\\" + UPDATE_BIG5;
  const std::string onDisk = dir.join(GAMES);
  const struct {
    const char* call;
    std::function<bool()> run;
    std::string present;  // UTF-8 names on disk after the call
    std::string absent;
  } steps[] = {
      {"make_dir", [&] { return host_make_dir(folder.c_str()) == 0; }, onDisk, ""},
      {"create and write",
       [&] {
         const HostHandle h = host_create(permit.c_str(), 0);
         const bool ok = host_write(h, "abc", 3) == 3;
         return host_close(h) == 0 && ok;
       },
       onDisk + "/" + PERMIT, ""},
      {"open",
       [&] {
         const HostHandle h = host_open(permit.c_str(), HOST_MODE_READ);
         const bool ok = host_size(h) == 3;
         return host_close(h) == 0 && ok;
       },
       onDisk + "/" + PERMIT, ""},
      {"attributes",
       [&] {
         return host_set_attributes(permit.c_str(), HOST_ATTR_READONLY) == 0 &&
                host_get_attributes(permit.c_str()) == (HOST_ATTR_ARCHIVE | HOST_ATTR_READONLY) &&
                host_set_attributes(permit.c_str(), HOST_ATTR_NORMAL) == 0;
       },
       onDisk + "/" + PERMIT, ""},
      {"search",
       [&] {
         return all_found(folder + "\\*.txt", HOST_ATTR_NORMAL) == std::string(PERMIT_BIG5) + "|" &&
                all_found(folder + "\\??.txt", HOST_ATTR_NORMAL) == std::string(PERMIT_BIG5) + "|" &&
                all_found(dir.path() + "\\*", HOST_ATTR_DIRECTORY).find(GAMES_BIG5) != std::string::npos;
       },
       onDisk + "/" + PERMIT, ""},
      {"move", [&] { return host_move(permit.c_str(), update.c_str()) == 0; },
       onDisk + "/" + UPDATE, onDisk + "/" + PERMIT},
      {"truncate", [&] { return host_truncate(update.c_str(), 1) == 0; }, onDisk + "/" + UPDATE, ""},
      {"replace",
       [&] {
         const HostHandle h = host_create(permit.c_str(), 0);
         return host_close(h) == 0 && host_replace(permit.c_str(), update.c_str()) == 0;
       },
       onDisk + "/" + UPDATE, onDisk + "/" + PERMIT},
      {"delete", [&] { return host_delete(update.c_str()) == 0; }, onDisk, onDisk + "/" + UPDATE},
      {"remove_dir", [&] { return host_remove_dir(folder.c_str()) == 0; }, "", onDisk},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.call);
    EXPECT_TRUE(step.run());
    EXPECT_TRUE(step.present.empty() || exists_plain(step.present));
    EXPECT_TRUE(step.absent.empty() || !exists_plain(step.absent));
  }
}

TEST(CodePage, CurrentFolderAndProgramPathComeBackInTheCodePage) {
  ScopedCodePage big5(950);
  TempDir dir;
  ASSERT_EQ(mkdir(dir.join(GAMES).c_str(), 0777), 0);
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.join(GAMES).c_str()), 0);
  char current[HOST_PATH_ROOM];
  const size_t length = host_current_dir(current, sizeof current);
  char small[8];
  const size_t tooSmall = host_current_dir(small, sizeof small);
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(std::string(current, length), dir.path() + "/" + GAMES_BIG5);
  EXPECT_EQ(tooSmall, 0u);
  EXPECT_STREQ(small, "");
  char module[HOST_PATH_ROOM];
  EXPECT_GT(host_module_path(module, sizeof module), 0u);  // an ASCII build folder
}

TEST(CodePage, NamesTheCodePageCannotSpellAreRefusedOrSkipped) {
  TempDir dir;
  ASSERT_TRUE(write_plain(dir.join(HANGUL), "k"));
  ASSERT_TRUE(write_plain(dir.join(UPDATE), "u"));
  ASSERT_TRUE(write_plain(dir.join("café.txt"), "c"));
  const struct {
    unsigned codePage;
    std::string found;  // by "*.txt", in listing order ignored: sorted below
    const char* unspellable;  // a host path of bytes the code page has no character for
  } cases[] = {
      {950, std::string(UPDATE_BIG5) + "|", "\xA7"},          // a lead byte alone
      {1252, "caf\xE9.txt|", "\x81.txt"},                      // a byte 1252 leaves undefined
      {HOST_CODE_PAGE_UTF8, std::string("café.txt|") + HANGUL + "|" + UPDATE + "|", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    ScopedCodePage page(c.codePage);
    std::string found = all_found(dir.join("*.txt"), HOST_ATTR_NORMAL);
    // Compare as sets: the listing order is the file system's.
    auto split = [](const std::string& s) {
      std::vector<std::string> parts;
      for (size_t at = 0, bar; (bar = s.find('|', at)) != std::string::npos; at = bar + 1)
        parts.push_back(s.substr(at, bar - at));
      std::sort(parts.begin(), parts.end());
      return parts;
    };
    EXPECT_EQ(split(found), split(c.found));
    if (c.unspellable == nullptr) continue;
    const std::string bad = dir.path() + "/" + c.unspellable;
    EXPECT_EQ(host_create(bad.c_str(), 0), HOST_INVALID_HANDLE);
    EXPECT_EQ(host_get_attributes(bad.c_str()), HOST_NO_SUCH_FILE);
    EXPECT_EQ(host_make_dir(bad.c_str()), -1);
  }
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) count += entry.exists();
  EXPECT_EQ(count, 3u);  // nothing made by a refused path
}

TEST(CodePage, GrowthIsBoundedByThePathBuffers) {
  ScopedCodePage big5(950);
  TempDir dir;
  // 85 Big5 characters: 170 bytes here, 255 (the longest name on disk) as UTF-8.
  std::string longName;
  for (int i = 0; i < 85; ++i) longName += "\xB9\x43";
  const std::string path = dir.path() + "/" + longName;
  ASSERT_LT(path.size(), HOST_PATH_ROOM);
  const HostHandle h = host_create(path.c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  host_close(h);
  EXPECT_EQ(all_found(dir.join("*"), HOST_ATTR_NORMAL), longName + "|");
  // One character more is a name no disk takes; the call fails cleanly.
  EXPECT_EQ(host_create((path + "\xB9\x43").c_str(), 0), HOST_INVALID_HANDLE);

  char buffer[HOST_PATH_ROOM];
  const std::string typed = std::string(100, 'a') + GAMES;  // 106 bytes as UTF-8, 104 as Big5
  EXPECT_EQ(host_text_to_code_page(typed.c_str(), "UTF-8", buffer, sizeof buffer), 104u);
  EXPECT_EQ(host_text_to_code_page(typed.c_str(), "UTF-8", buffer, 104), 0u);  // no room for the end
  EXPECT_STREQ(buffer, "");
}

TEST(CodePage, TextFromOutsideIsConvertedExactlyOrRefused) {
  ScopedCodePage big5(950);
  char buffer[HOST_PATH_ROOM];
  const struct {
    const char* text;
    const char* encoding;
    const char* expected;  // empty: refused
  } cases[] = {
      {"C:\\遊戲\\Velmor", "UTF-8", "C:\\\xB9\x43\xC0\xB8\\Velmor"},
      {"C:\\遊戲\\Velmor", nullptr, "C:\\\xB9\x43\xC0\xB8\\Velmor"},
      {"/home/p/한", "UTF-8", ""},
      {"\xB9\x43", "BIG5", "\xB9\x43"},
      {"\xFF\xFE", "UTF-8", ""},  // not UTF-8 at all
      {"", "UTF-8", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(host_text_to_code_page(c.text, c.encoding, buffer, sizeof buffer), strlen(c.expected));
    EXPECT_STREQ(buffer, c.expected);
  }
}

TEST(CodePage, ChosenAsWineChoosesItForTheLocale) {
  const struct {
    const char* locale;
    unsigned codePage;
  } table[] = {
      {"zh_TW.UTF-8", 950}, {"zh_HK.UTF-8", 950}, {"zh_CN.UTF-8", 936}, {"zh_SG", 936},
      {"ja_JP.UTF-8", 932}, {"ko_KR.EUC-KR", 949}, {"ru_RU.UTF-8", 1251}, {"pl_PL", 1250},
      {"el_GR.UTF-8", 1253}, {"tr_TR", 1254},      {"he_IL", 1255},       {"ar_EG", 1256},
      {"lt_LT", 1257},      {"vi_VN", 1258},       {"th_TH", 874},        {"en_US.UTF-8", 1252},
      {"de_DE@euro", 1252}, {"C.UTF-8", 1252},     {"POSIX", 1252},       {"", 1252},
      {"zhx_TW", 1252},
  };
  for (const auto& t : table) {
    SCOPED_TRACE(t.locale);
    EXPECT_EQ(host_code_page_of_locale(t.locale), t.codePage);
  }

  // The locale's variables in their order, then the override variable, then a call.
  ScopedEnv noOverride("VELMOR_CODEPAGE", std::nullopt);
  ScopedEnv all("LC_ALL", std::nullopt);
  ScopedEnv ctype("LC_CTYPE", std::nullopt);
  ScopedEnv lang("LANG", "zh_TW.UTF-8");
  EXPECT_EQ(host_code_page(), 950u);
  {
    ScopedEnv japanese("LC_ALL", "ja_JP.UTF-8");
    EXPECT_EQ(host_code_page(), 932u);
  }
  {
    ScopedEnv chosen("VELMOR_CODEPAGE", "936");
    EXPECT_EQ(host_code_page(), 936u);
    ScopedCodePage set(1252);
    EXPECT_EQ(host_code_page(), 1252u);
  }
  for (const char* unusable : {"abc", "70000", "12345", "950x"}) {
    ScopedEnv chosen("VELMOR_CODEPAGE", unusable);
    EXPECT_EQ(host_code_page(), 950u) << unusable;
  }
  EXPECT_EQ(host_set_code_page(12345), -1);
  EXPECT_EQ(host_code_page(), 950u);
}

}  // namespace
