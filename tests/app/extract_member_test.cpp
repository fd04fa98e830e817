// Member extraction on its own: content inflated to exactly its announced size and written
// whole, records that are too short or announce more than they hold, short writes, and a
// missing member that creates nothing.
#include <filesystem>

#include "app/updater.h"
#include "support/fault_injection.h"
#include "update_fixture.h"

namespace {

class ExtractMemberTest : public UpdateTest {
 protected:
  // Mounts a '#' archive holding one member "#:\M" with the given stored bytes.
  void mount_member(const Bytes& stored) {
    ASSERT_GE(mount(archive('#', {FixtureMember{"#:\\M", stored}}, true), "payload.pak",
                    PAK_OPEN_READ),
              0);
  }
  std::string out() const { return game("out.bin"); }
};

TEST_F(ExtractMemberTest, WritesTheInflatedContent) {
  Bytes content(100000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = uint8_t(i * i >> 5);
  for (const Bytes& c : {content, Bytes{}, bytes_of("x")}) {
    SCOPED_TRACE(c.size());
    reset_process_state();
    mount_member(pak_fixture_member_record(c));
    ASSERT_EQ(ExtractMember(out().c_str(), "#:\\M"), 0);
    EXPECT_EQ(read_file_bytes(out()), c);
    EXPECT_EQ(vfs_open_member_count(), 0);
  }
}

TEST_F(ExtractMemberTest, RefusesRecordsThatDoNotHoldTheirStream) {
  const Bytes good = pak_fixture_member_record(bytes_of("some content to pack"));
  Bytes packedTooLong = good;
  store_le32(&packedTooLong[4], uint32_t(good.size() - 8 + 1));
  Bytes unpackedTooShort = good;
  store_le32(&unpackedTooShort[0], 5);
  Bytes unpackedTooLong = good;
  store_le32(&unpackedTooLong[0], 21);
  Bytes damaged = good;
  damaged[12] ^= 0x40;
  const struct {
    const char* what;
    Bytes stored;
  } cases[] = {
      {"empty", {}},
      {"seven bytes", Bytes(7, 0)},
      {"head only, stream announced", Bytes{0, 0, 0, 0, 5, 0, 0, 0}},
      {"packed size one past the record", packedTooLong},
      {"packed size far past", [&] { Bytes b = good; store_le32(&b[4], 0xFFFFFFFFu); return b; }()},
      {"content longer than announced", unpackedTooShort},
      {"content shorter than announced", unpackedTooLong},
      {"damaged stream", damaged},
      {"unpacked size past 2 GiB", [&] { Bytes b = good; store_le32(&b[0], 0x90000000u); return b; }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset_process_state();
    mount_member(c.stored);
    EXPECT_EQ(ExtractMember(out().c_str(), "#:\\M"), -1);
    EXPECT_TRUE(read_file_bytes(out()).empty());  // created, nothing written
    EXPECT_EQ(vfs_open_member_count(), 0);
  }
}

TEST_F(ExtractMemberTest, MissingMemberCreatesNothing) {
  mount_member(pak_fixture_member_record(bytes_of("x")));
  EXPECT_EQ(ExtractMember(out().c_str(), "#:\\Other"), -1);
  EXPECT_FALSE(std::filesystem::exists(out()));
}

TEST_F(ExtractMemberTest, ShortWriteOrFailedFlushIsAFailure) {
  mount_member(pak_fixture_member_record(Bytes(5000, 7)));
  {
    HostFaults faults;
    faults.short_write(1, 4999);
    EXPECT_EQ(ExtractMember(out().c_str(), "#:\\M"), -1);
  }
  {
    HostFaults faults;
    faults.fail(HostOp::Flush, 1);
    EXPECT_EQ(ExtractMember(out().c_str(), "#:\\M"), -1);
  }
  EXPECT_EQ(vfs_open_member_count(), 0);
}

}  // namespace
