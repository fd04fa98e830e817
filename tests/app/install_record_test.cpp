// The install record: "Update.PAK" appended to the name list with header and body carried
// over, records left alone when the name is listed or the record is not well formed, and host
// failures at every call leaving the old record in place with nothing beside it.
#include <filesystem>

#include "app/updater.h"
#include "support/fault_injection.h"
#include "update_fixture.h"

namespace {

class InstallRecordTest : public UpdateTest {
 protected:
  std::string path() const { return game("INSTALL.DAT"); }
  void write(const Bytes& record) { ASSERT_TRUE(write_file_bytes(path(), record)); }
  // The folder holds the record alone, with these bytes.
  void expect_record(const Bytes& bytes) {
    FolderState expected;
    expected["INSTALL.DAT"] = FileState{bytes, false};
    EXPECT_EQ(snapshot(game_.path()), expected);
  }
};

TEST_F(InstallRecordTest, AppendsToTheListInOrder) {
  const std::vector<std::vector<std::string>> lists = {
      {}, {"Data.PAK", "Music.PAK"}, {"\xb9\x43\xc0\xb8.PAK", "", "x"}};
  for (const auto& names : lists) {
    SCOPED_TRACE(names.size());
    const Bytes old = install_record(names, 100);
    write(old);
    AppendInstallRecord(path().c_str());
    expect_record(appended_record(old, names));
  }
}

TEST_F(InstallRecordTest, EmptyListGrowsByTheNameAlone) {
  const Bytes old = install_record({});
  write(old);
  AppendInstallRecord(path().c_str());
  const Bytes now = read_file_bytes(path());
  ASSERT_EQ(now.size(), old.size() + 11);
  EXPECT_EQ(load_le32(&now[INSTALL_LIST_OFFSET_AT]), old.size());
  EXPECT_EQ(load_le32(&now[INSTALL_NAME_COUNT_AT]), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&now[old.size()])), "Update.PAK");
}

TEST_F(InstallRecordTest, HeaderAndBodyAreCarriedOverAndTheOldListStays) {
  // The list in the middle of the body, with body bytes on both sides of it.
  Bytes old = install_record({}, 40);
  const size_t listAt = old.size();
  for (const char* n : {"A.PAK", "B.PAK"}) {
    old.insert(old.end(), n, n + std::strlen(n) + 1);
  }
  for (int i = 0; i < 30; ++i) old.push_back(uint8_t(0x30 + i));
  store_le32(&old[INSTALL_LIST_OFFSET_AT], uint32_t(listAt));
  store_le32(&old[INSTALL_NAME_COUNT_AT], 2);
  write(old);
  AppendInstallRecord(path().c_str());

  const Bytes now = read_file_bytes(path());
  ASSERT_GT(now.size(), old.size());
  EXPECT_TRUE(std::equal(old.begin(), old.begin() + INSTALL_LIST_OFFSET_AT, now.begin()));
  EXPECT_TRUE(std::equal(old.begin() + INSTALL_RECORD_MIN_SIZE, old.end(),
                         now.begin() + INSTALL_RECORD_MIN_SIZE));
  const std::string tail(now.begin() + old.size(), now.end());
  EXPECT_EQ(tail, std::string("A.PAK\0B.PAK\0Update.PAK\0", 23));
  EXPECT_EQ(load_le32(&now[INSTALL_NAME_COUNT_AT]), 3u);
}

// The list may begin at the record's first byte, so its copy is as long as the record: the new
// record is twice the old one and the name.
TEST_F(InstallRecordTest, ListSpanningTheWholeRecordIsCopiedWhole) {
  Bytes old(800, 'a');
  store_le32(&old[INSTALL_LIST_OFFSET_AT], 0);
  store_le32(&old[INSTALL_NAME_COUNT_AT], 8);
  old.back() = 0;
  // Names: 768 'a', three empty ones (list offset), "\x08" and two empty (count), 23 'a'.
  const std::vector<std::string> names = {std::string(768, 'a'), "", "", "", "\x08", "", "",
                                          std::string(23, 'a')};
  write(old);
  AppendInstallRecord(path().c_str());
  Bytes expected = appended_record(old, {});
  expected.insert(expected.begin() + long(old.size()), old.begin(), old.end());
  store_le32(&expected[INSTALL_NAME_COUNT_AT], uint32_t(names.size() + 1));
  expect_record(expected);
}

TEST_F(InstallRecordTest, TwoAppendsInARowAddTheNameOnce) {
  const Bytes old = install_record({"Data.PAK"});
  write(old);
  AppendInstallRecord(path().c_str());
  const Bytes once = read_file_bytes(path());
  AppendInstallRecord(path().c_str());
  expect_record(once);
  EXPECT_EQ(once, appended_record(old, {"Data.PAK"}));
}

// Records that stay exactly as they are.
TEST_F(InstallRecordTest, RecordsLeftAlone) {
  Bytes listOutside = install_record({"Data.PAK"});
  store_le32(&listOutside[INSTALL_LIST_OFFSET_AT], uint32_t(listOutside.size()));
  Bytes noTerminator = install_record({"Data.PAK"});
  noTerminator.pop_back();
  Bytes countTooHigh = install_record({"Data.PAK"});
  store_le32(&countTooHigh[INSTALL_NAME_COUNT_AT], 2);
  Bytes hugeOffset = install_record({"Data.PAK"});
  store_le32(&hugeOffset[INSTALL_LIST_OFFSET_AT], 0xFFFFFFF0u);
  Bytes negativeCount = install_record({});
  store_le32(&negativeCount[INSTALL_NAME_COUNT_AT], 0xFFFFFFFFu);
  // Names taking 511872 bytes or more leave too little of the reserve.
  const std::string big(511869, 'n');  // with "x": 511872 bytes of names
  const std::string justFits(511868, 'n');
  const struct {
    const char* what;
    Bytes record;
  } cases[] = {
      {"empty file", {}},
      {"one byte short of the fixed part", Bytes(775, 0)},
      {"listed", install_record({"Data.PAK", "Update.PAK"})},
      {"listed in other letter case", install_record({"uPdAtE.pAk"})},
      {"list starting past the end", listOutside},
      {"last name without its NUL", noTerminator},
      {"more names counted than held", countTooHigh},
      {"list offset far outside", hugeOffset},
      {"negative count", negativeCount},
      {"names filling the reserve", install_record({big, "x"})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write(c.record);
    AppendInstallRecord(path().c_str());
    expect_record(c.record);
  }
  // One byte less and the name is added.
  const Bytes fits = install_record({justFits, "x"});
  write(fits);
  AppendInstallRecord(path().c_str());
  expect_record(appended_record(fits, {justFits, "x"}));
}

TEST_F(InstallRecordTest, MissingRecordIsNotCreated) {
  AppendInstallRecord(path().c_str());
  EXPECT_TRUE(snapshot(game_.path()).empty());
}

TEST_F(InstallRecordTest, ReadOnlyRecordIsReplaced) {
  const Bytes old = install_record({"Data.PAK"});
  write(old);
  set_read_only(path(), true);
  AppendInstallRecord(path().c_str());
  expect_record(appended_record(old, {"Data.PAK"}));
}

TEST_F(InstallRecordTest, HostFailureAtAnyCallKeepsTheOldRecord) {
  const Bytes old = install_record({"Data.PAK", "Music.PAK"});
  std::array<int, size_t(HostOp::Count)> clean{};
  {
    write(old);
    HostFaults faults;
    AppendInstallRecord(path().c_str());
    for (size_t op = 0; op < clean.size(); ++op) clean[op] = faults.calls(HostOp(op));
  }
  // Every failure up to the atomic replacement keeps the old record. Some are got round: a
  // name for the new copy that cannot be made gives way to the next, a failed close of the
  // file just read changes nothing. Either way nothing but the record is left.
  enum Outcome { Kept, Replaced, Either };
  const struct {
    HostOp op;
    Outcome outcome;
  } cases[] = {
      {HostOp::Open, Kept},   {HostOp::Create, Either}, {HostOp::Read, Kept},
      {HostOp::Write, Kept},  {HostOp::Size, Kept},     {HostOp::Flush, Kept},
      {HostOp::Close, Either}, {HostOp::Lookup, Kept},  {HostOp::Sync, Kept},
      {HostOp::Replace, Kept}, {HostOp::Alloc, Kept},
  };
  const Bytes appended = appended_record(old, {"Data.PAK", "Music.PAK"});
  for (const auto& c : cases) {
    ASSERT_GT(clean[size_t(c.op)], 0) << int(c.op);
    for (int n = 1; n <= clean[size_t(c.op)]; ++n) {
      SCOPED_TRACE(testing::Message() << "operation " << int(c.op) << " call " << n);
      write(old);
      {
        HostFaults faults;
        faults.fail(c.op, n);
        AppendInstallRecord(path().c_str());
      }
      const FolderState after = snapshot(game_.path());
      const bool replaced = after.count("INSTALL.DAT") != 0 && after.at("INSTALL.DAT").bytes == appended;
      if (c.outcome != Either) {
        EXPECT_EQ(replaced, c.outcome == Replaced);
      }
      expect_record(replaced ? appended : old);
    }
  }
}

TEST_F(InstallRecordTest, ShortWriteKeepsTheOldRecord) {
  const Bytes old = install_record({"Data.PAK"});
  write(old);
  {
    HostFaults faults;
    faults.short_write(1, 100);
    AppendInstallRecord(path().c_str());
  }
  expect_record(old);
}

}  // namespace
