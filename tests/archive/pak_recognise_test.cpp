// Archive recognition: each refusal for the file that earns it, the same answer from pak_open,
// the location of a recognised archive (also before a signed executable's certificate table),
// and a text for every refusal.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "archive/pak_recognise.h"
#include "archive_table_fixture.h"
#include "support/pe_fixture.h"

namespace {

using Recognition = ArchiveTableTest;

Bytes with32(Bytes b, size_t at, uint32_t v) {
  store_le32(b.data() + at, v);
  return b;
}

Bytes with16(Bytes b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
  return b;
}

Bytes with_security(Bytes b, size_t offset, size_t size) {
  pe_fixture_set_security(&b, uint32_t(offset), uint32_t(size));
  return b;
}

Bytes followed_by(Bytes b, const Bytes& more) {
  b.insert(b.end(), more.begin(), more.end());
  return b;
}

// Two sound archives whose locators both lie just before the certificate table: one at 768
// named with no padding, one at 196608 named by the same bytes read one further back, with
// one zero byte of padding.
Bytes two_candidates(const Bytes& archive) {
  Bytes file = followed_by(pe_fixture_image(768), archive);
  file.resize(196608, 0);
  file = followed_by(file, archive);
  file = followed_by(file, Bytes{0x00, 0x00, 0x03, 0x00, 0x00});
  return pe_fixture_sign(file, 0);
}

TEST_F(Recognition, EachFileGetsItsRefusal) {
  const Bytes plain = pak_fixture_bytes(sample_archive(false));
  const Bytes packed = pak_fixture_bytes(sample_archive(true));
  const Bytes exe = pak_fixture_executable(600);
  const Bytes appended = pak_fixture_append(exe, plain);
  const size_t locatorAt = appended.size() - 4;
  const Bytes image = pak_fixture_append(pe_fixture_image(600), packed);
  const Bytes signedExe = pe_fixture_sign(image, 0);
  const size_t tableAt = image.size();
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
      {"signed executable", "a.exe", [&] { return signedExe; }, PakRefusal::None,
       PakRefusal::None},
      {"optional header of no known kind", "a.exe", [&] { return with16(image, 0x58, 0x107); },
       PakRefusal::BadPeHeader, PakRefusal::BadPeHeader},
      {"optional header past the file", "a.exe",
       [&] { return with16(image, 0x54, 0xFFFF); }, PakRefusal::BadPeHeader,
       PakRefusal::BadPeHeader},
      {"security entry past a short optional header", "a.exe",
       [&] { return with16(image, 0x54, 96); }, PakRefusal::BadPeHeader, PakRefusal::BadPeHeader},
      {"certificate table past the file", "a.exe",
       [&] { return with_security(signedExe, tableAt, signedExe.size() - tableAt + 8); },
       PakRefusal::CertificatesOutside, PakRefusal::CertificatesOutside},
      {"certificate table over the headers", "a.exe",
       [&] { return with_security(signedExe, 0x100, signedExe.size() - 0x100); },
       PakRefusal::CertificatesOutside, PakRefusal::CertificatesOutside},
      {"certificate table shorter than its header", "a.exe",
       [&] { return with_security(signedExe, signedExe.size() - 4, 4); },
       PakRefusal::CertificatesOutside, PakRefusal::CertificatesOutside},
      {"certificate table not at the end", "a.exe",
       [&] { return followed_by(signedExe, Bytes(8, 0)); }, PakRefusal::CertificatesNotLast,
       PakRefusal::CertificatesNotLast},
      {"certificate table over the archive", "a.exe",
       [&] { return with_security(signedExe, 640, signedExe.size() - 640); },
       PakRefusal::NoSignedLocator, PakRefusal::NoSignedLocator},
      {"locator pointing into the certificate table", "a.exe",
       [&] { return with32(signedExe, tableAt - 4, uint32_t(tableAt)); },
       PakRefusal::NoSignedLocator, PakRefusal::NoSignedLocator},
      {"directory running over the locator of a signed executable", "a.exe",
       [&] { return with32(signedExe, 600 + 20, uint32_t(load_le32(&signedExe[620]) + 1)); },
       PakRefusal::NoSignedLocator, PakRefusal::NoSignedLocator},
      {"two archives before the certificate table", "a.exe",
       [&] { return two_candidates(packed); }, PakRefusal::SeveralLocators,
       PakRefusal::SeveralLocators},
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

// The locator search before a certificate table: every padding a signing tool may insert, the
// unsigned form, and padding that is not zero.
TEST_F(Recognition, FindsTheArchiveBeforeTheCertificateTable) {
  const Bytes archive = pak_fixture_bytes(sample_archive(true));
  const Bytes image = pak_fixture_append(pe_fixture_image(600), archive);
  const int64_t locatorAt = int64_t(image.size()) - 4;
  struct Case {
    std::string what;
    Bytes file;
    PakRefusal recognised;
    int64_t tableAt;  // 0: no certificate table
  };
  std::vector<Case> cases = {{"unsigned", image, PakRefusal::None, 0}};
  for (size_t padding = 0; padding <= 7; ++padding) {
    cases.push_back({"padding " + std::to_string(padding), pe_fixture_sign(image, padding),
                     PakRefusal::None, int64_t(image.size() + padding)});
  }
  Bytes dirty = pe_fixture_sign(image, 3);
  dirty[image.size() + 1] = 0x01;  // a padding byte that is not zero
  cases.push_back({"padding that is not zero", dirty, PakRefusal::NoSignedLocator, 0});
  cases.push_back({"signed image without an archive", pe_fixture_sign(pe_fixture_image(600), 0),
                   PakRefusal::NoSignedLocator, 0});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PakLocation at{};
    ASSERT_EQ(pak_recognise(put("Signed.exe", c.file).c_str(), &at), c.recognised);
    if (c.recognised != PakRefusal::None) continue;
    EXPECT_EQ(at.baseOffset, 600);
    EXPECT_EQ(at.end, locatorAt);
    EXPECT_EQ(at.fileSize, int64_t(c.file.size()));
    EXPECT_EQ(at.certificates.offset, c.tableAt);
    EXPECT_EQ(at.certificates.size, c.tableAt == 0 ? 0 : 64);
    EXPECT_EQ(at.header.entryCount, 4);
    // The archive reads whole, its directory from before the locator.
    const int slot = pak_open(dir_.join("Signed.exe").c_str(), PAK_OPEN_READ);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(index_names(slot), (std::vector<std::string>{"", "#:\\Velmor.EXE", "Update01.txt",
                                                           "Zeta"}));
    pak_close_all();
  }
}

// A stand-alone archive is never searched for a certificate table, whatever precedes it.
TEST_F(Recognition, StandAloneArchivesIgnoreExecutableHeaders) {
  const Bytes signedImage = pe_fixture_sign(pe_fixture_image(600), 0);
  PakLocation at{};
  EXPECT_EQ(pak_recognise(put("a.pak", signedImage).c_str(), &at), PakRefusal::BadMagic);
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
