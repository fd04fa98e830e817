// Writes the seed corpus of the locator search's fuzz target: small executables carrying an
// archive, unsigned and signed with several paddings, and a signed one without an archive.
#include <cstdio>
#include <string>

#include "support/pe_fixture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_locator_seeds <output folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  FixtureArchive archive;
  archive.firstLetter = '#';
  archive.lastLetter = '#';
  archive.compressed = true;
  archive.members = {{"#:\\Velmor.EXE", pak_fixture_member_record(bytes_of("MZ game"))},
                     {"#:\\Update.PAK", pak_fixture_member_record(bytes_of("PAKS pack"))}};
  const Bytes image = pe_fixture_image(400);
  const Bytes updater = pak_fixture_append(image, pak_fixture_bytes(archive));
  const struct {
    const char* name;
    Bytes bytes;
  } seeds[] = {
      {"unsigned.exe", updater},
      {"signed.exe", pe_fixture_sign(updater, 0)},
      {"signed_padded_3.exe", pe_fixture_sign(updater, 3)},
      {"signed_padded_7.exe", pe_fixture_sign(updater, 7)},
      {"signed_without_archive.exe", pe_fixture_sign(image, 0)},
  };
  for (const auto& s : seeds) {
    if (!write_file_bytes(out + "/" + s.name, s.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", s.name);
      return 1;
    }
  }
  return 0;
}
