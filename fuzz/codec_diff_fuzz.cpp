// Differential fuzz target for the pak tool's two codecs: zlib and libdeflate must agree on
// every masked stream (both accept with the same content, or both refuse), and what either
// packs, both unpack to the content packed.
//
// Input: [mode][level][u16 unpacked size][bytes]. Even mode: the bytes are a masked stream
// unpacked to the given size. Odd mode: the bytes are content packed at the level.
#include <cstdint>
#include <cstdlib>
#include <vector>

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

void compare_unpacking(const Bytes& stream, size_t outputBytes) {
  Bytes byZlib, byLibdeflate;
  const bool zlibOk = unpack(Codec::Zlib, stream, outputBytes, &byZlib);
  const bool libdeflateOk = unpack(Codec::Libdeflate, stream, outputBytes, &byLibdeflate);
  if (zlibOk != libdeflateOk) abort();  // one accepts what the other refuses
  if (zlibOk && byZlib != byLibdeflate) abort();
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
