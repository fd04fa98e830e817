// Writes the seed corpus of the archive reader's fuzz target: small sound archives of every
// form (plain, compressed, empty, appended to an executable, long names, deleted entries).
#include <cstdio>
#include <string>

#include "support/pak_fixture.h"

namespace {

FixtureArchive two_members(bool compressed) {
  FixtureArchive a;
  a.firstLetter = '#';
  a.lastLetter = '#';
  a.compressed = compressed;
  a.members = {
      {"#:\\Velmor.EXE", pak_fixture_member_record(bytes_of("MZ executable bytes"))},
      {"#:\\Update.PAK", bytes_of("PAKS"), true},
      {"Update01.txt", bytes_of("marker")},
  };
  return a;
}

FixtureArchive long_names() {
  FixtureArchive a;
  a.members = {{std::string(40, 'L'), bytes_of("a")}, {std::string(39, 'l'), bytes_of("b")}};
  return a;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_pak_seeds <output folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  FixtureArchive emptyPlain;
  FixtureArchive emptyPacked;
  emptyPacked.compressed = true;
  // Stand-alone archives start with 'P' (even: read as .pak); appended ones with 'M' (odd:
  // read through the locator).
  const Bytes exe = pak_fixture_executable(48);
  const struct {
    const char* name;
    Bytes bytes;
  } seeds[] = {
      {"plain.pak", pak_fixture_bytes(two_members(false))},
      {"compressed.pak", pak_fixture_bytes(two_members(true))},
      {"empty_compressed.pak", pak_fixture_bytes(emptyPacked)},
      {"empty_plain.pak", pak_fixture_bytes(emptyPlain)},
      {"long_names.pak", pak_fixture_bytes(long_names())},
      {"appended_plain.exe", pak_fixture_append(exe, pak_fixture_bytes(two_members(false)))},
      {"appended_compressed.exe", pak_fixture_append(exe, pak_fixture_bytes(two_members(true)))},
      {"appended_empty.exe", pak_fixture_append(exe, pak_fixture_bytes(emptyPacked))},
  };
  for (const auto& s : seeds) {
    if (!write_file_bytes(out + "/" + s.name, s.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", s.name);
      return 1;
    }
  }
  return 0;
}
