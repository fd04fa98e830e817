// Writes the seed corpora of the targets that read packed members: member extraction, the pak
// tool's reading commands, the whole update, and the codec comparison. Takes the corpus root
// and writes into its folders extract_member/, pak_tool/, run_update/ and codec_diff/.
#include <cstdio>
#include <string>
#include <vector>

#include "support/pak_fixture.h"

namespace {

struct Seed {
  std::string name;
  Bytes bytes;
};

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes block(const Bytes& b) {
  return cat({{uint8_t(b.size()), uint8_t(b.size() >> 8)}, b});
}

// The updater's archive: the two payload members as packed records.
Bytes payload(const std::string& exe, const std::string& pack) {
  FixtureArchive a;
  a.firstLetter = a.lastLetter = '#';
  a.compressed = true;
  a.members = {{"#:\\Velmor.EXE", pak_fixture_member_record(bytes_of(exe))},
               {"#:\\Update.PAK", pak_fixture_member_record(bytes_of(pack))}};
  return pak_fixture_append(pak_fixture_executable(48), pak_fixture_bytes(a));
}

Bytes game_pack(const std::string& marker) {
  FixtureArchive a;
  if (!marker.empty()) a.members = {{marker, bytes_of("marker")}};
  return pak_fixture_bytes(a);
}

Bytes install_record(const std::vector<std::string>& names) {
  Bytes r(776, 0);
  const uint32_t listAt = 776;
  for (int i = 0; i < 4; ++i) {
    r[768 + i] = uint8_t(listAt >> (8 * i));
    r[772 + i] = uint8_t(names.size() >> (8 * i));
  }
  for (const std::string& n : names) {
    r.insert(r.end(), n.begin(), n.end());
    r.push_back(0);
  }
  return r;
}

// [failing change][folder: files present, running, leftovers][pack][record][exe][self]
Bytes update_seed(uint8_t failing, uint8_t present, const Bytes& pack, const Bytes& record) {
  return cat({{failing, present}, block(pack), block(record), block(bytes_of("MZ old")),
              payload("MZ new executable", "PAKS new pack")});
}

Bytes tool_archive(bool compressed) {
  FixtureArchive a;
  a.compressed = compressed;
  a.members = {{"A.TXT", bytes_of("plain")},
               {"SUB\\B.BIN", pak_fixture_member_record(bytes_of("packed content"))},
               {"..\\up", bytes_of("climbs")},
               {"C:\\abs", bytes_of("drive")},
               {"gone", bytes_of("deleted"), true},
               {"\xa4\xa4\xa4\xe5.txt", bytes_of("big5 name")}};
  return pak_fixture_bytes(a);
}

bool write_all(const std::string& folder, const std::vector<Seed>& seeds) {
  for (const Seed& s : seeds) {
    if (!write_file_bytes(folder + "/" + s.name, s.bytes)) {
      std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), s.name.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_member_seeds <corpus root>\n");
    return 2;
  }
  const std::string root = argv[1];
  const Bytes record = pak_fixture_member_record(bytes_of("content of the member"));
  const Bytes empty = pak_fixture_member_record(Bytes());
  // A head claiming nearly 2 GiB from a few stream bytes: refused before any allocation.
  Bytes hugeClaim = pak_fixture_member_record(bytes_of("tiny"));
  store_le32(hugeClaim.data(), 0x7FFFFFF0u);
  const std::vector<Seed> extract = {
      {"to_file.bin", cat({{0}, record})},
      {"to_member.bin", cat({{1}, record})},
      {"empty.bin", cat({{0}, empty})},
      {"huge_claim.bin", cat({{0}, hugeClaim})},
      {"repeated.bin", cat({{1}, pak_fixture_member_record(Bytes(3000, 'x'))})},
  };
  // First byte: bit 0 executable, 1 raw names, 2 as stored, 3 deleted too, 4 JSON, 5-6 command
  // (0 list, 0x20 verify, 0x40 extract, 0x60 cat).
  const std::vector<Seed> tool = {
      {"plain.bin", cat({{0x00}, tool_archive(false)})},
      {"compressed_json.bin", cat({{0x18}, tool_archive(true)})},
      {"raw_stored.bin", cat({{0x46}, tool_archive(false)})},
      {"appended.bin", cat({{0x29}, pak_fixture_append(pak_fixture_executable(32),
                                                       tool_archive(true))})},
      {"verify_compressed.bin", cat({{0x20}, tool_archive(true)})},
      {"extract_compressed.bin", cat({{0x40}, tool_archive(true)})},
      {"cat_compressed.bin", cat({{0x60}, tool_archive(true)})},
      {"cat_raw_plain.bin", cat({{0x62}, tool_archive(false)})},
  };
  const std::vector<Seed> update = {
      {"fresh.bin", update_seed(0, 0, Bytes(), Bytes())},
      {"installed_old.bin", update_seed(0, 7, game_pack(""), install_record({"Velmor.PAK"}))},
      {"already.bin", update_seed(0, 3, game_pack("Update01.txt"), Bytes())},
      {"newer.bin", update_seed(0, 3, game_pack("Update02.txt"), Bytes())},
      {"fails_late.bin", update_seed(9, 7, game_pack(""), install_record({}))},
      {"interrupted.bin", update_seed(0, 0x37, game_pack(""), install_record({}))},
      {"files_lost.bin", update_seed(0, 0x60, game_pack(""), install_record({"A.PAK"}))},
      {"game_running.bin", update_seed(0, 0x0F, game_pack(""), install_record({}))},
      {"look_alike.bin", update_seed(4, 0x97, game_pack(""), install_record({}))},
  };
  const Bytes stream = pak_fixture_masked(bytes_of("some content, some content"));
  const std::vector<Seed> codec = {
      {"unpack.bin", cat({{0, 6, 26, 0}, stream})},
      {"unpack_short.bin", cat({{0, 6, 20, 0}, stream})},
      {"pack.bin", cat({{1, 7, 0, 0}, bytes_of("pack me, pack me, pack me")})},
      {"pack_stored.bin", cat({{1, 1, 0, 0}, Bytes(300, 'z')})},
  };
  return write_all(root + "/extract_member", extract) && write_all(root + "/pak_tool", tool) &&
                 write_all(root + "/run_update", update) && write_all(root + "/codec_diff", codec)
             ? 0
             : 1;
}
