// The tool's building blocks on their own: name conversion between UTF-8 and code page 950,
// packed member records, the ordered pipeline, the read window, and the terminal progress line.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <thread>

#include "archive/masked_stream.h"
#include "pak_tool_fixture.h"
#include "support/pak_fixture.h"
#include "tools/pak/archive_reader.h"
#include "tools/pak/member_record.h"
#include "tools/pak/name_codec.h"
#include "tools/pak/ordered_pipeline.h"
#include "tools/pak/progress.h"
#include "tools/pak/read_window.h"

namespace {

TEST(NameCodec, ConvertsBothWaysExactly) {
  struct Case {
    std::string utf8;
    std::string big5;
  };
  const Case cases[] = {
      {"", ""},
      {"Update.PAK", "Update.PAK"},
      {"更新.txt", "\xA7\xF3\xB7\x73.txt"},
      {"許功蓋", "\xB3\x5C\xA5\x5C\xBB\x5C"},  // second bytes 0x5C
      {"資料\\檔案", "\xB8\xEA\xAE\xC6\\\xC0\xC9\xAE\xD7"},
  };
  const NameCodec codec(false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::string big5, utf8;
    EXPECT_TRUE(codec.to_archive(c.utf8, &big5));
    EXPECT_EQ(big5, c.big5);
    EXPECT_TRUE(codec.to_terminal(c.big5, &utf8));
    EXPECT_EQ(utf8, c.utf8);
  }
}

TEST(NameCodec, RefusesWhatHasNoExactForm) {
  const NameCodec codec(false);
  std::string out;
  for (const std::string& utf8 : {std::string("\xFF"), std::string("\xE6\x9B"),
                                  std::string("\xF0\x9F\x98\x80"), std::string("caf\xC3\xA9")}) {
    SCOPED_TRACE(utf8);
    EXPECT_FALSE(codec.to_archive(utf8, &out));
  }
  for (const std::string& big5 : {std::string("\xA7"), std::string("\xFF\xFF"),
                                  std::string("ok\xA7")}) {
    SCOPED_TRACE(big5);
    EXPECT_FALSE(codec.to_terminal(big5, &out));
  }
  EXPECT_EQ(codec.shown("bad\xFF\x01"), "bad\\xFF\\x01");
  EXPECT_EQ(codec.shown("\xA7\xF3"), "更");
}

TEST(NameCodec, RawNamesPassThrough) {
  const NameCodec raw(true);
  std::string out;
  EXPECT_TRUE(raw.to_archive("\xFF\xA7", &out));
  EXPECT_EQ(out, "\xFF\xA7");
  EXPECT_TRUE(raw.to_terminal("\xA7", &out));
  EXPECT_EQ(out, "\xA7");
}

TEST(NameCodec, TerminalColumnsCountWideCharactersTwice) {
  EXPECT_EQ(terminal_columns(""), 0u);
  EXPECT_EQ(terminal_columns("Update.PAK"), 10u);
  EXPECT_EQ(terminal_columns("更新.txt"), 8u);
  EXPECT_EQ(terminal_columns("\xFF\xFE"), 2u) << "bytes that are not UTF-8 take one column each";
  EXPECT_EQ(terminal_columns("\xE6\x9B"), 2u) << "a cut sequence too";
}

TEST(MemberRecord, PackedRecordsRoundTrip) {
  std::string big;
  for (int i = 0; i < 300000; ++i) big += char('A' + i % 7 + (i / 1000) % 3);
  for (const std::string& content : {std::string(), std::string("x"), big}) {
    for (int level : {-1, 0, 1, 9}) {
      SCOPED_TRACE(std::to_string(content.size()) + " bytes at level " + std::to_string(level));
      Bytes record;
      ASSERT_TRUE(pack_record(reinterpret_cast<const uint8_t*>(content.data()), content.size(),
                              level, &record));
      PakMemberRecord head{};
      ASSERT_TRUE(record_recognised(record.data(), record.size(), int64_t(record.size()), &head));
      EXPECT_EQ(head.unpackedSize, content.size());
      EXPECT_EQ(head.packedSize + PAK_MEMBER_RECORD_HEADER_SIZE, record.size());
      const Bytes before = record;
      Bytes back{1, 2, 3};
      ASSERT_TRUE(unpack_record(record, &back));
      EXPECT_EQ(std::string(back.begin(), back.end()), content);
      EXPECT_EQ(record, before) << "the stored bytes are left as they were";
    }
  }
}

// Stored bytes are members that match no record form; a record of either form (head filling
// the member, or a sound stream header) is recognised even when damaged.
TEST(MemberRecord, OnlyRecordsAreRecognised) {
  const Bytes record = pak_fixture_member_record(bytes_of("content"));
  PakMemberRecord head{};
  struct Case {
    const char* name;
    Bytes bytes;
    int64_t storedSize;
  };
  const Case cases[] = {{"text", bytes_of("just a text file, nothing packed"), 32},
                        {"short", Bytes(record.begin(), record.begin() + 9), 9},
                        {"seven bytes", Bytes(7, 0), 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(record_recognised(c.bytes.data(), c.bytes.size(), c.storedSize, &head));
  }
  EXPECT_TRUE(record_recognised(record.data(), record.size(), int64_t(record.size()), &head));
}

// Records damaged in their head or their stream: recognised as records, never unpacked.
TEST(MemberRecord, DamagedRecordsDoNotUnpack) {
  const Bytes good = pak_fixture_member_record(bytes_of(std::string(1000, 'd')));
  const uint32_t packed = uint32_t(good.size() - PAK_MEMBER_RECORD_HEADER_SIZE);
  struct Case {
    const char* name;
    uint32_t unpackedSize;
    uint32_t packedSize;
    size_t at;     // byte to change, 0 for none
    uint8_t bits;  // XORed into it
  };
  const Case cases[] = {{"one byte more claimed", 1001, packed, 0, 0},
                        {"one byte fewer claimed", 999, packed, 0, 0},
                        {"impossible ratio", 0x7FFFFFF0u, packed, 0, 0},
                        {"empty claimed", 0, packed, 0, 0},
                        {"check bytes damaged", 1000, packed, good.size() - 2, 0x40},
                        {"stream header damaged", 1000, packed, 8, 0x40},
                        {"mask missing", 1000, packed, 8, STREAM_MASK},
                        {"stream longer than the member", 1000, packed + 1, 0, 0},
                        {"stream cut short", 1000, packed - 3, 0, 0},
                        {"stream shorter than any", 1000, 4, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes record = good;
    store_le32(record.data(), c.unpackedSize);
    store_le32(record.data() + 4, c.packedSize);
    record[c.at] ^= c.bits;
    PakMemberRecord head{};
    EXPECT_TRUE(record_recognised(record.data(), record.size(), int64_t(record.size()), &head));
    Bytes content;
    EXPECT_FALSE(unpack_record(record, &content));
    EXPECT_FALSE(member_content(record, &content));
  }
}

// Runs the pipeline over items of the given sizes, recording the order of reads and writes and
// how far reads ran ahead of writes. failRead / failWrite: the item whose step fails, or -1.
struct PipelineTrace {
  std::vector<size_t> reads, writes;
  size_t mostAhead = 0;
  size_t workedElsewhere = 0;  // items whose work ran on another thread than the caller's
  bool result = false;
};
PipelineTrace trace_pipeline(const std::vector<int64_t>& sizes, unsigned threads, int64_t budget,
                             int failRead = -1, int failWrite = -1) {
  PipelineTrace t;
  std::vector<int> worked(sizes.size(), 0);
  std::atomic<size_t> elsewhere{0};
  const std::thread::id caller = std::this_thread::get_id();
  OrderedSteps steps;
  steps.read = [&](size_t i) {
    t.reads.push_back(i);
    t.mostAhead = std::max(t.mostAhead, t.reads.size() - t.writes.size());
    return int(i) != failRead;
  };
  steps.work = [&](size_t i) {
    worked[i] += 1;
    if (std::this_thread::get_id() != caller) ++elsewhere;
  };
  steps.write = [&](size_t i) {
    EXPECT_EQ(worked[i], 1) << "item " << i << " worked once before its write";
    t.writes.push_back(i);
    return int(i) != failWrite;
  };
  t.result = run_ordered(sizes, threads, budget, steps);
  t.workedElsewhere = elsewhere;
  return t;
}

constexpr int64_t kMiB = int64_t(1) << 20;

TEST(OrderedPipeline, WritesInOrderWithBoundedReadAhead) {
  std::vector<size_t> all(30);
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  for (unsigned threads : {0u, 1u, 3u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    const PipelineTrace t = trace_pipeline(std::vector<int64_t>(30, kMiB), threads, 100 * kMiB);
    EXPECT_TRUE(t.result);
    EXPECT_EQ(t.reads, all);
    EXPECT_EQ(t.writes, all);
    EXPECT_LE(t.mostAhead, threads + 1);
    EXPECT_EQ(t.workedElsewhere, threads == 0 ? 0u : all.size());
  }
  // The byte budget holds reads back to the one item that must be written next.
  EXPECT_EQ(trace_pipeline(std::vector<int64_t>(10, 100 * kMiB), 4, 150 * kMiB).mostAhead, 1u);
  // A few items of a few KiB are worked by the caller at their turn, still in order.
  const PipelineTrace few = trace_pipeline(std::vector<int64_t>(30, 1024), 3, 100 * kMiB);
  EXPECT_EQ(few.writes, all);
  EXPECT_EQ(few.workedElsewhere, 0u);
  // Many go to the workers in runs of 64 KiB, except a last run too small to be worth it; a
  // large item among them ends the run before it and travels alone.
  std::vector<int64_t> sizes(300, 1024);
  sizes[100] = kMiB;
  const PipelineTrace many = trace_pipeline(sizes, 2, 100 * kMiB);
  std::vector<size_t> every(sizes.size());
  for (size_t i = 0; i < every.size(); ++i) every[i] = i;
  EXPECT_TRUE(many.result);
  EXPECT_EQ(many.reads, every);
  EXPECT_EQ(many.writes, every);
  // Runs: 64 + the 36 before the large item (worked by the caller), the large item, 3 × 64,
  // and the last 7 (by the caller).
  EXPECT_EQ(many.workedElsewhere, 64u + 1u + 3u * 64u);
  EXPECT_LE(many.mostAhead, 3u * 64u);
}

TEST(OrderedPipeline, StopsAtTheFirstFailure) {
  const std::vector<int64_t> sizes(12, kMiB);
  const PipelineTrace readFails = trace_pipeline(sizes, 2, 100 * kMiB, 5);
  EXPECT_FALSE(readFails.result);
  EXPECT_EQ(readFails.reads.back(), 5u);
  EXPECT_LT(readFails.writes.size(), 5u);
  const PipelineTrace writeFails = trace_pipeline(sizes, 2, 100 * kMiB, -1, 3);
  EXPECT_FALSE(writeFails.result);
  EXPECT_EQ(writeFails.writes.back(), 3u);
  EXPECT_LE(writeFails.reads.size(), 4u + 3u);
}

// The read window gives what a plain read gives for every member, in any order: members on
// both sides of the window's edge, one larger than the window serves, the archive's last one.
TEST_F(PakToolTest, TheReadWindowGivesEachMembersStoredBytes) {
  FixtureArchive archive;
  for (int i = 0; i < 40; ++i) {
    Bytes data(size_t(i == 17 ? 70000 : 30000 + i * 911));
    for (size_t k = 0; k < data.size(); ++k) data[k] = uint8_t(k * 31 + size_t(i));
    archive.members.push_back({"m" + std::to_string(i), data, false, 0});
  }
  const std::string path = put("window.pak", pak_fixture_bytes(archive));
  std::ostringstream out, err;
  ToolIo io{out, err, false};
  ArchiveReader reader;
  ASSERT_TRUE(reader.open(path, io)) << err.str();
  std::vector<int32_t> order;
  for (int32_t i = 0; i < reader.count(); ++i) order.push_back(i);
  for (int32_t i = reader.count() - 1; i >= 0; --i) order.push_back(i);
  for (int32_t i = 0; i < reader.count(); i += 7) order.push_back(i);
  ReadWindow window;
  for (int32_t i : order) {
    Bytes expected, got;
    ASSERT_TRUE(reader.read_stored(i, &expected));
    ASSERT_TRUE(window.read_stored(reader, i, &got)) << i;
    EXPECT_TRUE(got == expected) << "member " << i;
  }
}

TEST(ProgressLine, ShownOnlyOnATerminalAndClearedAtTheEnd) {
  std::ostringstream out, err;
  ToolIo quiet{out, err, false};
  {
    Progress p(quiet, "adding", 100, std::chrono::milliseconds(0));
    p.advance(50);
  }
  EXPECT_EQ(err.str(), "");

  ToolIo terminal{out, err, true};
  {
    Progress p(terminal, "adding", 4 << 20, std::chrono::milliseconds(0));
    p.advance(1 << 20);
  }
  const std::string line = "adding: 1.0 MiB of 4.0 MiB (25%)";
  EXPECT_EQ(err.str(), "\r" + line + "\r" + std::string(line.size(), ' ') + "\r");
}

}  // namespace
