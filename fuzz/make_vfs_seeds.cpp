// Writes the seed corpus of the virtual file layer's fuzz target: wildcard patterns against
// names, and sound archives (plain, compressed, appended) with scripted operation sequences.
#include <cstdio>
#include <string>
#include <vector>

#include "support/pak_fixture.h"

namespace {

// Operation bytes as the fuzz target reads them (operation in the low four bits, handle
// variable in the two high bits).
Bytes ops_script() {
  const std::string script[] = {
      std::string("\x00\x01\x01\x01", 4),                 // look up entry 1 as stored
      std::string("\x01\x01\x00\x01", 4),                 // open entry 0 into handle 0
      std::string("\x02\x19", 2),                         // read 50 bytes
      std::string("\x04\x00\x02", 3),                     // seek to the end
      std::string("\x03\x05hello", 7),                    // write five bytes
      std::string("\x45\x00\x04" "NewA" "\x00\x01", 8),   // create "#:\NewA" into handle 1
      std::string("\x43\x03" "abc", 5),                   // write into it
      std::string("\x06\x01\x02\x01", 4),                 // delete entry 2
      std::string("\x07\x01\x00\x01\x03NEW", 8),          // rename entry 0 to NEW
      std::string("\x08\x00\x03*.*\x00\x80", 7),          // search "#:\*.*"
      std::string("\x19", 1),                             // prefix strip on
      std::string("\x08\x00\x01*\x00\x80", 5),            // search "#:\*"
      std::string("\x09", 1),                             // close and reopen the archive
      std::string("\x02\x10", 2),                         // read through a stale handle
      std::string("\x81\x01\x01\x01", 4),                 // open entry 1 into handle 2
      std::string("\x82\x30", 2),                         // read
  };
  Bytes out;
  for (const std::string& s : script) out.insert(out.end(), s.begin(), s.end());
  return out;
}

FixtureArchive sample(bool compressed) {
  FixtureArchive a;
  a.firstLetter = '#';
  a.lastLetter = '#';
  a.compressed = compressed;
  a.members = {
      {"#:\\Velmor.EXE", pak_fixture_member_record(bytes_of("MZ executable bytes"))},
      {"Update01.txt", bytes_of("marker")},
      {"#:\\SUB\\A.TXT", bytes_of("in a folder")},
      {"#:\\Gone", bytes_of("deleted"), true},
      {"#:\\Update.PAK", bytes_of("PAKS")},
  };
  return a;
}

// [flags][op count][ops, op count x 6 bytes][archive]
Bytes archive_seed(uint8_t flags, const Bytes& archive) {
  Bytes ops = ops_script();
  const size_t count = (ops.size() + 5) / 6;
  ops.resize(count * 6, 0);
  Bytes out = {flags, uint8_t(count)};
  out.insert(out.end(), ops.begin(), ops.end());
  out.insert(out.end(), archive.begin(), archive.end());
  return out;
}

// [even][limit][pattern length][pattern][name bytes]
Bytes matcher_seed(const std::string& pattern, const std::string& name) {
  Bytes out = {0, 39, uint8_t(pattern.size())};  // limit 1 + 39
  out.insert(out.end(), pattern.begin(), pattern.end());
  out.insert(out.end(), name.begin(), name.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_vfs_seeds <output folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  const Bytes exe = pak_fixture_executable(48);
  const struct {
    const char* name;
    Bytes bytes;
  } seeds[] = {
      {"match_star_dot.bin", matcher_seed("*.TXT", "README")},
      {"match_question.bin", matcher_seed("A?C?", std::string("ABC\0", 4))},
      {"match_prefix.bin", matcher_seed("#:\\*.EXE", "#:\\Velmor.EXE")},
      {"match_full_field.bin", matcher_seed(std::string(45, 'A'), std::string(40, 'a'))},
      {"plain.bin", archive_seed(0x01, pak_fixture_bytes(sample(false)))},
      {"compressed.bin", archive_seed(0x01, pak_fixture_bytes(sample(true)))},
      {"strip_on.bin", archive_seed(0x05, pak_fixture_bytes(sample(false)))},
      {"appended.bin", archive_seed(0x03, pak_fixture_append(exe, pak_fixture_bytes(sample(true))))},
  };
  for (const auto& s : seeds) {
    if (!write_file_bytes(out + "/" + s.name, s.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", s.name);
      return 1;
    }
  }
  return 0;
}
