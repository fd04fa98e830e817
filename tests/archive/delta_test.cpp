// Deltas: the encoder's output rebuilds the target from its base for files alike and unalike,
// fed to the decoder in pieces of any size; the copies of a pack whose new version appends
// members; every kind of damaged delta refused without reading outside the base or writing
// past the target; the packed form behind the streaming inflate.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/delta_decode.h"
#include "archive/delta_encode.h"
#include "archive/masked_stream.h"
#include "support/pak_fixture.h"

namespace {

Bytes noise(size_t length, uint32_t seed) { return pak_fixture_noise(length, seed); }

struct Rebuilt {
  Bytes bytes;
  size_t maxPiece = 0;
};

bool read_base(void* context, uint32_t offset, void* buffer, int32_t count) {
  const Bytes& base = *static_cast<const Bytes*>(context);
  if (size_t(offset) + size_t(count) > base.size()) return false;
  memcpy(buffer, base.data() + offset, size_t(count));
  return true;
}

bool collect(void* context, const void* data, int32_t count) {
  auto* out = static_cast<Rebuilt*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  out->bytes.insert(out->bytes.end(), p, p + count);
  out->maxPiece = std::max(out->maxPiece, size_t(count));
  return true;
}

// Decodes delta against base in pieces of piece bytes: the decoder's end result, out filled.
int decode(const Bytes& delta, const Bytes& base, uint32_t targetSize, size_t piece, Rebuilt* out) {
  static uint8_t buffer[DELTA_COPY_CHUNK];
  DeltaDecoder d;
  delta_decoder_begin(&d, uint32_t(base.size()), targetSize, DeltaBase{read_base, const_cast<Bytes*>(&base)},
                      ByteSink{collect, out}, buffer);
  for (size_t at = 0; at < delta.size(); at += piece) {
    const size_t n = std::min(piece, delta.size() - at);
    if (delta_decoder_feed(&d, delta.data() + at, int32_t(n)) != 0) return -1;
  }
  return delta_decoder_end(&d);
}

size_t added_bytes(const Bytes& delta) {
  size_t added = 0;
  for (size_t at = DELTA_HEAD_SIZE; at + DELTA_OP_SIZE <= delta.size();) {
    const DeltaOp op = delta_op_decode(delta.data() + at);
    at += DELTA_OP_SIZE;
    if (op.kind == DELTA_OP_ADD) {
      added += op.length;
      at += op.length;
    }
  }
  return added;
}

struct Pair {
  const char* what;
  Bytes base;
  Bytes target;
  size_t mostAdded;  // bytes the delta may carry as adds
};

std::vector<Pair> pairs() {
  const Bytes a = noise(300000, 1);
  Bytes scattered = a;
  for (size_t i = 50; i < scattered.size(); i += 997) scattered[i] ^= 0x5A;
  Bytes appended = a;
  const Bytes extra = noise(20000, 2);
  appended.insert(appended.end(), extra.begin(), extra.end());
  Bytes moved(a.begin() + 150000, a.end());
  moved.insert(moved.end(), a.begin(), a.begin() + 150000);
  Bytes cut(a.begin() + 7, a.end() - 11);
  return {
      {"identical", a, a, 0},
      {"empty base", {}, noise(1000, 3), 1000},
      {"empty target", a, {}, 0},
      {"both empty", {}, {}, 0},
      {"shorter than a block", Bytes(a.begin(), a.begin() + 20), Bytes(a.begin(), a.begin() + 10), 10},
      {"unrelated", a, noise(5000, 4), 5000},
      {"scattered byte changes", a, scattered, 301},
      {"bytes appended", a, appended, 20000},
      {"halves swapped", a, moved, 0},
      {"both ends cut", a, cut, 0},
  };
}

TEST(Delta, RebuildsTheTargetInPiecesOfAnySize) {
  for (const Pair& p : pairs()) {
    SCOPED_TRACE(p.what);
    const Bytes delta = delta_encode(p.base.data(), p.base.size(), p.target.data(), p.target.size());
    EXPECT_LE(added_bytes(delta), p.mostAdded);
    for (size_t piece : {size_t(1), size_t(5), size_t(12), size_t(4096), delta.size() + 1}) {
      Rebuilt out;
      ASSERT_EQ(decode(delta, p.base, uint32_t(p.target.size()), piece, &out), 0) << piece;
      EXPECT_TRUE(out.bytes == p.target) << piece;
      EXPECT_LE(out.maxPiece, size_t(DELTA_COPY_CHUNK));
    }
  }
}

// A pack's new version keeps its members where they were and appends more: the delta carries
// the new members and the new directory, and copies the rest.
TEST(Delta, AnAppendedPackCarriesOnlyWhatIsNew) {
  FixtureArchive old;
  for (int i = 0; i < 20; ++i) old.members.push_back({"M" + std::to_string(i), noise(40000, uint32_t(10 + i))});
  FixtureArchive next = old;
  next.members.push_back({"NEW", noise(30000, 99)});
  const Bytes base = pak_fixture_bytes(old);
  const Bytes target = pak_fixture_bytes(next);
  const Bytes delta = delta_encode(base.data(), base.size(), target.data(), target.size());
  EXPECT_LE(added_bytes(delta), 30000u + 22 * PAK_ENTRY_SIZE + 64);
  EXPECT_GE(added_bytes(delta), 30000u);
  Rebuilt out;
  ASSERT_EQ(decode(delta, base, uint32_t(target.size()), 777, &out), 0);
  EXPECT_TRUE(out.bytes == target);
}

Bytes op(uint8_t kind, int32_t step, uint32_t length, uint8_t reserved = 0) {
  const DeltaOpBytes b = delta_op_encode(DeltaOp{kind, {reserved, 0, 0}, step, length});
  return Bytes(b.begin(), b.end());
}

Bytes head(uint32_t baseSize, uint32_t targetSize, uint32_t magic = DELTA_MAGIC,
           uint16_t version = DELTA_VERSION, uint16_t reserved = 0) {
  const DeltaHeadBytes b = delta_head_encode(DeltaHead{magic, version, reserved, baseSize, targetSize});
  return Bytes(b.begin(), b.end());
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(Delta, RefusesDamagedDeltas) {
  const Bytes base = noise(100, 5);
  const Bytes four = {1, 2, 3, 4};
  // Target 10 bytes: a copy of 6 from base offset 20, then 4 added bytes.
  const Bytes good = join({head(100, 10), op(DELTA_OP_COPY, 20, 6), op(DELTA_OP_ADD, 0, 4), four});
  Rebuilt sound;
  ASSERT_EQ(decode(good, base, 10, 3, &sound), 0);

  const struct {
    const char* what;
    Bytes delta;
    uint32_t targetSize;
  } cases[] = {
      {"nothing", {}, 10},
      {"head cut short", Bytes(good.begin(), good.begin() + 9), 10},
      {"wrong magic", join({head(100, 10, 0x314C4457), op(DELTA_OP_ADD, 0, 10), Bytes(10)}), 10},
      {"wrong version", join({head(100, 10, DELTA_MAGIC, 2), op(DELTA_OP_ADD, 0, 10), Bytes(10)}), 10},
      {"reserved head bytes", join({head(100, 10, DELTA_MAGIC, 1, 1), op(DELTA_OP_ADD, 0, 10), Bytes(10)}), 10},
      {"for another base", join({head(101, 10), op(DELTA_OP_ADD, 0, 10), Bytes(10)}), 10},
      {"for another target", good, 11},
      {"copy past the base's end", join({head(100, 10), op(DELTA_OP_COPY, 95, 10)}), 10},
      {"copy before the base's start", join({head(100, 10), op(DELTA_OP_COPY, -1, 10)}), 10},
      {"second copy steps before the start",
       join({head(100, 10), op(DELTA_OP_COPY, 0, 5), op(DELTA_OP_COPY, -6, 5)}), 10},
      {"copy step beyond any offset",
       join({head(100, 10), op(DELTA_OP_COPY, 90, 5), op(DELTA_OP_COPY, 0x7FFFFFFF, 5)}), 10},
      {"add past the target's end", join({head(100, 10), op(DELTA_OP_ADD, 0, 11), Bytes(11)}), 10},
      {"add with a step", join({head(100, 10), op(DELTA_OP_ADD, 3, 10), Bytes(10)}), 10},
      {"op of no length", join({head(100, 10), op(DELTA_OP_ADD, 0, 0), op(DELTA_OP_ADD, 0, 10), Bytes(10)}), 10},
      {"unknown op", join({head(100, 10), op(3, 0, 10), Bytes(10)}), 10},
      {"reserved op bytes", join({head(100, 10), op(DELTA_OP_ADD, 0, 10, 1), Bytes(10)}), 10},
      {"added bytes cut short", join({head(100, 10), op(DELTA_OP_ADD, 0, 10), Bytes(9)}), 10},
      {"op cut short", join({head(100, 10), op(DELTA_OP_COPY, 0, 5), Bytes(7)}), 10},
      {"target short", join({head(100, 10), op(DELTA_OP_COPY, 0, 5)}), 10},
      {"bytes after the target", join({good, Bytes(1)}), 10},
      {"an op after the target", join({good, op(DELTA_OP_ADD, 0, 1), Bytes(1)}), 10},
  };
  for (const auto& c : cases) {
    for (size_t piece : {size_t(1), size_t(64)}) {
      Rebuilt out;
      EXPECT_EQ(decode(c.delta, base, c.targetSize, piece, &out), -1) << c.what << " " << piece;
      EXPECT_LE(out.bytes.size(), size_t(c.targetSize)) << c.what;
    }
  }
}

TEST(Delta, StopsAtAFailedReadOrWrite) {
  const Bytes base = noise(1000, 6);
  const Bytes delta = join({head(1000, 1000), op(DELTA_OP_COPY, 0, 1000)});
  static uint8_t buffer[DELTA_COPY_CHUNK];
  auto refuse_read = [](void*, uint32_t, void*, int32_t) { return false; };
  auto refuse_write = [](void*, const void*, int32_t) { return false; };
  Rebuilt out;
  DeltaDecoder d;
  delta_decoder_begin(&d, 1000, 1000, DeltaBase{refuse_read, nullptr}, ByteSink{collect, &out}, buffer);
  EXPECT_EQ(delta_decoder_feed(&d, delta.data(), int32_t(delta.size())), -1);
  EXPECT_EQ(delta_decoder_end(&d), -1);
  delta_decoder_begin(&d, 1000, 1000, DeltaBase{read_base, const_cast<Bytes*>(&base)},
                      ByteSink{refuse_write, nullptr}, buffer);
  EXPECT_EQ(delta_decoder_feed(&d, delta.data(), int32_t(delta.size())), -1);
  // Once refused, it stays refused.
  EXPECT_EQ(delta_decoder_feed(&d, delta.data(), 0), -1);
}

struct MemorySource {
  const Bytes* bytes;
  size_t at = 0;
};

bool read_source(void* context, void* buffer, int32_t count) {
  auto* s = static_cast<MemorySource*>(context);
  if (s->at + size_t(count) > s->bytes->size()) return false;
  memcpy(buffer, s->bytes->data() + s->at, size_t(count));
  s->at += size_t(count);
  return true;
}

TEST(Delta, PackedDeltasRebuildThroughTheInflate) {
  const Bytes base = noise(200000, 7);
  Bytes target = base;
  target.resize(250000, 'x');
  const Bytes delta = delta_encode(base.data(), base.size(), target.data(), target.size());
  Bytes packed(delta.size() + delta.size() / 2 + 64);
  packed.resize(masked_compress2(packed.data(), delta.data(), uint32_t(delta.size()), uint32_t(packed.size()), 6));
  EXPECT_LT(packed.size(), 1000u);
  Rebuilt out;
  MemorySource source{&packed};
  ASSERT_EQ(delta_apply_packed(ByteSource{read_source, &source}, uint32_t(packed.size()),
                               uint32_t(delta.size()), uint32_t(base.size()), uint32_t(target.size()),
                               DeltaBase{read_base, const_cast<Bytes*>(&base)}, ByteSink{collect, &out}),
            0);
  EXPECT_TRUE(out.bytes == target);
  // The same stream announced one byte too long, or for a longer target, is refused.
  source.at = 0;
  Rebuilt other;
  EXPECT_EQ(delta_apply_packed(ByteSource{read_source, &source}, uint32_t(packed.size()),
                               uint32_t(delta.size() + 1), uint32_t(base.size()), uint32_t(target.size()),
                               DeltaBase{read_base, const_cast<Bytes*>(&base)}, ByteSink{collect, &other}),
            -1);
}

}  // namespace
