// Differential fuzz target for the pak tool's two codecs and the updater's streaming inflate:
// zlib, libdeflate and the updater must agree on every masked stream (all accept with the same
// content, or all refuse: a member the tool verifies is one the updater installs), and what
// either codec packs, both unpack to the content packed.
//
// Input: [mode][level][u16 unpacked size][bytes]. Even mode: the bytes are a masked stream
// unpacked to the given size. Odd mode: the bytes are content packed at the level.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "archive/masked_inflate.h"
#include "fuzz_input.h"
#include "tools/pak/masked_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Unpacks a copy of the stream; the stream itself must come back unchanged.
bool unpack(Codec codec, const Bytes& stream, size_t outputBytes, Bytes* out) {
  Bytes copy = stream;
  out->assign(outputBytes, 0);
  const bool ok = masked_unpack(codec, out->data(), outputBytes, copy.data(), copy.size());
  if (copy != stream) abort();
  return ok;
}

// The updater's way: the stream read in pieces and its content handed on as it comes.
struct Reading {
  const Bytes& stream;
  size_t at = 0;
};
bool read_piece(void* context, void* buffer, int32_t count) {
  auto* r = static_cast<Reading*>(context);
  if (count < 0 || r->stream.size() - r->at < size_t(count)) return false;
  std::copy_n(r->stream.begin() + long(r->at), count, static_cast<uint8_t*>(buffer));
  r->at += size_t(count);
  return true;
}
bool take_piece(void* context, const void* data, int32_t count) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes, bytes + count);
  return true;
}
bool stream_unpack(const Bytes& stream, size_t outputBytes, Bytes* out) {
  Reading reading{stream};
  out->clear();
  return masked_inflate_stream(ByteSource{read_piece, &reading}, uint32_t(stream.size()),
                               uint32_t(outputBytes), ByteSink{take_piece, out}) == 0;
}

void compare_unpacking(const Bytes& stream, size_t outputBytes) {
  Bytes byZlib, byLibdeflate, byUpdater;
  const bool zlibOk = unpack(Codec::Zlib, stream, outputBytes, &byZlib);
  const bool libdeflateOk = unpack(Codec::Libdeflate, stream, outputBytes, &byLibdeflate);
  const bool updaterOk = stream_unpack(stream, outputBytes, &byUpdater);
  if (zlibOk != libdeflateOk || zlibOk != updaterOk) abort();  // one accepts what another refuses
  if (zlibOk && (byZlib != byLibdeflate || byZlib != byUpdater)) abort();
}

void round_trip(const Bytes& content, int level) {
  for (Codec packer : {Codec::Zlib, Codec::Libdeflate}) {
    Bytes stream(masked_bound(packer, content.size()));
    const size_t length =
        masked_pack(packer, stream.data(), stream.size(), content.data(), content.size(), level);
    if (length == 0) abort();  // the bound's room always holds the stream
    stream.resize(length);
    for (Codec unpacker : {Codec::Zlib, Codec::Libdeflate}) {
      Bytes out;
      if (!unpack(unpacker, stream, content.size(), &out) || out != content) abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!libdeflate_built_in()) return 0;
  FuzzInput in{data, size};
  const uint8_t mode = in.byte();
  const int level = in.byte() % 11 - 1;
  const size_t unpacked = in.le16();
  const Bytes bytes = in.rest();
  if (mode & 1) {
    round_trip(bytes, level);
  } else if (!bytes.empty()) {
    compare_unpacking(bytes, unpacked);
  }
  return 0;
}
