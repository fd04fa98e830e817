// Updates carried as deltas: a base that matches rebuilds both files exactly as the whole-file
// update leaves them; a game file that matches no base stops the run with nothing touched unless
// the payload carries the whole file; the second of two bases; damaged deltas, whole files and
// manifests stop it as a damaged payload, nothing touched.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/update_log.h"
#include "app/updater.h"
#include "archive/delta_encode.h"
#include "archive/delta_manifest.h"
#include "host/host_hash.h"
#include "update_fixture.h"

namespace {

struct Base {
  Bytes exe;
  Bytes pack;
};

void digest(const Bytes& bytes, uint8_t* out) {
  HostSha256* d = host_sha256_begin();
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(host_sha256_add(d, bytes.data(), bytes.size()), 0);
  ASSERT_EQ(host_sha256_end(d, out), 0);
}

class DeltaUpdateTest : public UpdateTest {
 protected:
  // The old files install_game writes: the base a delta is usually made from.
  Base installed() { return Base{read_file_bytes(game("Velmor.EXE")), read_file_bytes(game("Update.PAK"))}; }

  // Payload members for the new files: a delta against each base (made by make, the encoder by
  // default), the whole files when withFull, and the manifest.
  std::vector<FixtureMember> delta_members(
      const std::vector<Base>& bases, bool withFull,
      const std::function<Bytes(const Bytes&, const Bytes&)>& make = nullptr) {
    std::vector<FixtureMember> members;
    DeltaManifest manifest{};
    const Bytes* targets[] = {&newExe_, &newPack_};
    const char* wholeNames[] = {"#:\\Velmor.EXE", "#:\\Update.PAK"};
    for (uint8_t file = 0; file < DELTA_FILE_COUNT; ++file) {
      const Bytes& target = *targets[file];
      ManifestRecord whole{};
      whole.file = file;
      whole.base = DELTA_NO_BASE;
      whole.targetSize = uint32_t(target.size());
      digest(target, whole.targetSha256);
      for (size_t b = 0; b < bases.size(); ++b) {
        const Bytes& base = file == 0 ? bases[b].exe : bases[b].pack;
        ManifestRecord r = whole;
        r.base = uint8_t(b);
        r.baseSize = uint32_t(base.size());
        digest(base, r.baseSha256);
        const Bytes delta = make ? make(base, target) : delta_encode(base.data(), base.size(), target.data(), target.size());
        char name[DELTA_MEMBER_NAME_ROOM];
        EXPECT_TRUE(delta_member_name(wholeNames[file], r.base, name, sizeof name));
        members.push_back(packed_member(name, delta));
        r.deltaSize = uint32_t(members.back().data.size());
        manifest.records[manifest.count++] = r;
      }
      if (withFull) {
        manifest.records[manifest.count++] = whole;
        members.push_back(packed_member(wholeNames[file], target));
      }
    }
    Bytes bytes(MANIFEST_MAX_SIZE);
    bytes.resize(delta_manifest_encode(manifest, bytes.data()));
    members.push_back(FixtureMember{DELTA_MANIFEST_MEMBER, bytes});
    return members;
  }

  // A new pack that keeps the old one's member and adds the marker, as a real update does.
  void grow_pack() {
    newPack_ = pak_fixture_bytes(archive('@', {member("Readme.txt", "old pack"), member("Update01.txt", "1")}));
  }
};

TEST_F(DeltaUpdateTest, AMatchingBaseUpdatesAsTheWholeFilesWould) {
  install_game();
  grow_pack();
  build_updater(delta_members({installed()}, false));
  expect_run(RESULT_UPDATED);
  // The same folder after a whole-file update.
  next_case();
  build_updater();
  expect_run(RESULT_UPDATED);
}

// An executable larger than the rebuild's buffers, changed in scattered bytes: many short copies
// and adds, windows of the base read again and again, the new copy written a buffer at a time.
TEST_F(DeltaUpdateTest, ManyShortCopiesAcrossTheBuffers) {
  install_game();
  Bytes old(700000);
  uint32_t x = 5;
  for (auto& b : old) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
  ASSERT_TRUE(write_file_bytes(game("Velmor.EXE"), old));
  newExe_ = old;
  for (size_t i = 3; i < newExe_.size(); i += 1009) newExe_[i] ^= 0x77;
  newExe_.insert(newExe_.begin() + 300000, old.begin() + 500000, old.begin() + 600000);
  grow_pack();
  build_updater(delta_members({installed()}, false));
  expect_run(RESULT_UPDATED);
}

TEST_F(DeltaUpdateTest, AGameFileMatchingNoBase) {
  const struct {
    const char* what;
    const char* changed;  // the game file one byte of which differs from the base
    bool withFull;
    uint32_t result;
  } cases[] = {
      {"executable changed, no whole files", "Velmor.EXE", false, RESULT_GAME_FILES_BAD},
      {"pack changed, no whole files", "Update.PAK", false, RESULT_GAME_FILES_BAD},
      {"executable changed, whole files carried", "Velmor.EXE", true, RESULT_UPDATED},
      {"pack changed, whole files carried", "Update.PAK", true, RESULT_UPDATED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    grow_pack();
    build_updater(delta_members({installed()}, c.withFull));
    Bytes bytes = read_file_bytes(game(c.changed));
    bytes[bytes.size() / 2] ^= 1;
    ASSERT_TRUE(write_file_bytes(game(c.changed), bytes));
    expect_run(c.result);
  }
}

TEST_F(DeltaUpdateTest, AMissingExecutableMatchesNoBase) {
  install_game();
  build_updater(delta_members({installed()}, false));
  std::filesystem::remove(game("Velmor.EXE"));
  expect_run(RESULT_GAME_FILES_BAD);
}

TEST_F(DeltaUpdateTest, TheSecondOfTwoBasesMatches) {
  install_game();
  grow_pack();
  Base other = installed();
  other.exe.push_back('!');
  other.pack[5] ^= 0x40;
  build_updater(delta_members({other, installed()}, false));
  expect_run(RESULT_UPDATED);
}

TEST_F(DeltaUpdateTest, DamagedPayloadsTouchNothing) {
  using Make = std::function<Bytes(const Bytes&, const Bytes&)>;
  // A sound delta whose bytes are then changed at one place.
  auto changed = [](size_t at) -> Make {
    return [at](const Bytes& base, const Bytes& target) {
      Bytes d = delta_encode(base.data(), base.size(), target.data(), target.size());
      d[at == SIZE_MAX ? d.size() - 1 : at] ^= 1;
      return d;
    };
  };
  const struct {
    const char* what;
    Make make;
    std::function<void(std::vector<FixtureMember>&)> damage;
  } cases[] = {
      {"deltas giving other bytes (the last added byte)", changed(SIZE_MAX), nullptr},
      {"deltas that do not decode (their magic)", changed(0), nullptr},
      {"a delta's stream cut", nullptr, [](std::vector<FixtureMember>& m) { m[1].data.resize(m[1].data.size() - 3); }},
      {"a delta missing", nullptr, [](std::vector<FixtureMember>& m) { m.erase(m.begin() + 1); }},
      {"a manifest that does not decode", nullptr, [](std::vector<FixtureMember>& m) { m.back().data[4] = 9; }},
      {"a manifest naming another new executable", nullptr,
       [](std::vector<FixtureMember>& m) { m.back().data[MANIFEST_HEAD_SIZE + 8] ^= 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    grow_pack();
    std::vector<FixtureMember> members = delta_members({installed()}, false, c.make);
    if (c.damage) c.damage(members);
    build_updater(members);
    expect_run(RESULT_PACK_DAMAGED);
  }
}

// The support log names the game file and both hashes: the file's and each base's.
TEST_F(DeltaUpdateTest, TheLogNamesTheFileAndBothHashes) {
  install_game();
  grow_pack();
  const Base base = installed();
  build_updater(delta_members({base}, false));
  Bytes exe = base.exe;
  exe[exe.size() / 2] ^= 1;
  ASSERT_TRUE(write_file_bytes(game("Velmor.EXE"), exe));
  const std::string log = tools_.join("update.log");
  ASSERT_EQ(UpdateLogOpen(log.c_str()), 0);
  expect_run(RESULT_GAME_FILES_BAD);
  UpdateLogClose();
  const Bytes bytes = read_file_bytes(log);
  const std::string text(bytes.begin(), bytes.end());
  const auto hex = [](const Bytes& b) {
    uint8_t d[HOST_SHA256_SIZE];
    digest(b, d);
    std::string s;
    char two[3];
    for (uint8_t x : d) {
      snprintf(two, sizeof two, "%02x", unsigned(x));
      s += two;
    }
    return s;
  };
  const size_t line = text.find("is none of");
  ASSERT_NE(line, std::string::npos) << text;
  const size_t start = text.rfind('\n', line) + 1;  // 0 when it is the first line
  const std::string failed = text.substr(start, text.find('\n', line) - start);
  EXPECT_NE(failed.find(hex(exe)), std::string::npos) << failed;
  EXPECT_NE(failed.find(hex(base.exe)), std::string::npos) << failed;
  EXPECT_NE(failed.find("Velmor.EXE"), std::string::npos) << failed;
}

TEST_F(DeltaUpdateTest, AWholeFileOtherThanTheManifestSaysIsDamage) {
  install_game();
  std::vector<FixtureMember> members = delta_members({installed()}, true);
  std::filesystem::remove(game("Velmor.EXE"));
  for (FixtureMember& m : members) {
    if (m.name == "#:\\Velmor.EXE") {
      Bytes content = newExe_;
      content[0] ^= 1;
      m.data = pak_fixture_member_record(content);
    }
  }
  build_updater(members);
  expect_run(RESULT_PACK_DAMAGED);
}

}  // namespace
