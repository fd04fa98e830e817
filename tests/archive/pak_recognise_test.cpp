// Archive recognition: each refusal for the file that earns it, the same answer from pak_open,
// the location of a recognised archive, and a text for every refusal.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "archive/pak_recognise.h"
#include "archive_table_fixture.h"

namespace {

using Recognition = ArchiveTableTest;

Bytes with32(Bytes b, size_t at, uint32_t v) {
  store_le32(b.data() + at, v);
  return b;
}

TEST_F(Recognition, EachFileGetsItsRefusal) {
  const Bytes plain = pak_fixture_bytes(sample_archive(false));
  const Bytes packed = pak_fixture_bytes(sample_archive(true));
  const Bytes exe = pak_fixture_executable(600);
  const Bytes appended = pak_fixture_append(exe, plain);
  const size_t locatorAt = appended.size() - 4;
  const struct {
    const char* what;
    const char* name;
    std::function<Bytes()> make;  // null: nothing is written
    PakRefusal recognised;
    PakRefusal opened;  // what pak_open says, which also reads the directory
  } cases[] = {
      {"sound archive", "a.pak", [&] { return plain; }, PakRefusal::None, PakRefusal::None},
      {"sound appended archive", "a.exe", [&] { return appended; }, PakRefusal::None, PakRefusal::None},
      {"no such file", "gone.pak", nullptr, PakRefusal::NoSuchFile, PakRefusal::NoSuchFile},
      {"executable of three bytes", "a.exe", [] { return Bytes{1, 2, 3}; }, PakRefusal::NoLocator,
       PakRefusal::NoLocator},
      {"locator past the file", "a.exe", [&] { return with32(appended, locatorAt, 0x7FFFFFF0); },
       PakRefusal::LocatorOutside, PakRefusal::LocatorOutside},
      {"locator leaving less than a header", "a.exe",
       [&] { return with32(appended, locatorAt, uint32_t(locatorAt - 23)); }, PakRefusal::LocatorOutside,
       PakRefusal::LocatorOutside},
      {"header cut short", "a.pak", [&] { return Bytes(plain.begin(), plain.begin() + 23); },
       PakRefusal::NoHeader, PakRefusal::NoHeader},
      {"executable without an archive", "a.exe", [&] { return with32(exe, exe.size() - 4, 0); },
       PakRefusal::BadMagic, PakRefusal::BadMagic},
      {"text file", "a.pak", [] { return bytes_of("this is not a PAK archive at all"); },
       PakRefusal::BadMagic, PakRefusal::BadMagic},
      {"negative entry count", "a.pak", [&] { return with32(plain, 4, 0xFFFFFFFF); },
       PakRefusal::DamagedHeader, PakRefusal::DamagedHeader},
      {"negative packed size", "a.pak", [&] { return with32(packed, 20, 0xFFFFFFFB); },
       PakRefusal::DamagedHeader, PakRefusal::DamagedHeader},
      {"directory in the header", "a.pak", [&] { return with32(plain, 8, 23); },
       PakRefusal::DirectoryOutside, PakRefusal::DirectoryOutside},
      {"directory past the file", "a.pak", [&] { return with32(plain, 8, uint32_t(plain.size())); },
       PakRefusal::DirectoryOutside, PakRefusal::DirectoryOutside},
      {"directory one byte short", "a.pak", [&] { return Bytes(plain.begin(), plain.end() - 1); },
       PakRefusal::None, PakRefusal::DamagedDirectory},
      {"stream that does not inflate", "a.pak", [&] { return with32(packed, 4, 5); },
       PakRefusal::None, PakRefusal::DamagedDirectory},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = c.make ? put(c.name, c.make()) : dir_.join(c.name);
    PakLocation at{};
    EXPECT_EQ(pak_recognise(path.c_str(), &at), c.recognised);
    PakRefusal why = PakRefusal::NoFreeSlot;
    const int slot = pak_open_why(path.c_str(), PAK_OPEN_READ, &why);
    EXPECT_EQ(why, c.opened);
    EXPECT_EQ(slot >= 0, c.opened == PakRefusal::None);
    pak_close_all();
  }
}

TEST_F(Recognition, FindsWhereTheArchiveLies) {
  const Bytes archive = pak_fixture_bytes(sample_archive(true));
  const Bytes exe = pak_fixture_executable(700);
  PakLocation at{};
  ASSERT_EQ(pak_recognise(put("Setup.EXE", pak_fixture_append(exe, archive)).c_str(), &at),
            PakRefusal::None);
  EXPECT_EQ(at.baseOffset, 700);
  EXPECT_EQ(at.end, int64_t(700 + archive.size()));
  EXPECT_EQ(at.fileSize, int64_t(700 + archive.size() + 4));
  EXPECT_EQ(at.header.magic, PAK_MAGIC);
  EXPECT_EQ(at.header.entryCount, 4);
  EXPECT_EQ(at.header.userValue, 0x01020304u);

  ASSERT_EQ(pak_recognise(put("a.pak", archive).c_str(), &at), PakRefusal::None);
  EXPECT_EQ(at.baseOffset, 0);
  EXPECT_EQ(at.end, int64_t(archive.size()));
}

TEST_F(Recognition, FoldersAndRefusedModesAreNamed) {
  EXPECT_EQ(pak_recognise(dir_.path().c_str(), nullptr), PakRefusal::IsFolder);
  EXPECT_EQ(pak_recognise(nullptr, nullptr), PakRefusal::NoSuchFile);
  const std::string exe = put("UP.EXE", pak_fixture_append(pak_fixture_executable(100),
                                                          pak_fixture_bytes(sample_archive(false))));
  PakRefusal why = PakRefusal::None;
  EXPECT_EQ(pak_open_why(exe.c_str(), PAK_OPEN_READWRITE, &why), -1);
  EXPECT_EQ(why, PakRefusal::CarrierReadOnly);
}

TEST(RecognitionText, EveryRefusalHasItsOwnText) {
  std::set<std::string> texts;
  for (int r = int(PakRefusal::NoSuchFile); r <= int(PakRefusal::NoFreeSlot); ++r) {
    const std::string text = pak_refusal_text(PakRefusal(r));
    EXPECT_FALSE(text.empty()) << r;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), size_t(PakRefusal::NoFreeSlot));
  EXPECT_STREQ(pak_refusal_text(PakRefusal::None), "");
  EXPECT_STREQ(pak_refusal_text(PakRefusal::NoLocator), "no archive locator at the end");
}

}  // namespace
