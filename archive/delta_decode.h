// The delta decoder: takes a delta's bytes in pieces of any size, as an inflate hands them over,
// and writes the target it describes to a sink, copying ranges of the base through one fixed
// buffer, so memory does not grow with the base, the target or the delta. Refuses, without
// reading outside the base or writing past the target, any delta that is not exactly sound.
#pragma once

#include <cstdint>

#include "archive/byte_pipe.h"
#include "archive/delta_format.h"

// Where copies come from: reads exactly count bytes of the base at offset into buffer.
struct DeltaBase {
  bool (*read_at)(void* context, uint32_t offset, void* buffer, int32_t count);
  void* context;
};

// The copy buffer's size: the most a copy moves at a time.
constexpr int32_t DELTA_COPY_CHUNK = 256 << 10;

struct DeltaDecoder {
  DeltaBase base;
  ByteSink out;
  uint8_t* copyBuffer;  // DELTA_COPY_CHUNK bytes, the caller's
  uint32_t baseSize;
  uint32_t targetSize;
  uint8_t pending[DELTA_HEAD_SIZE];  // a head or op record read in part
  uint32_t pendingFill;
  bool headRead;
  bool failed;
  uint32_t addLeft;   // bytes of the current add still to come
  int64_t copyEnd;    // where the previous copy ended in the base
  int64_t produced;   // target bytes written so far
};

// Starts decoding a delta that must be for a base of baseSize bytes and a target of targetSize.
void delta_decoder_begin(DeltaDecoder* d, uint32_t baseSize, uint32_t targetSize,
                         const DeltaBase& base, const ByteSink& out, uint8_t* copyBuffer);
// The next count bytes of the delta: 0, or -1 once the delta is refused or a read or write failed.
int delta_decoder_feed(DeltaDecoder* d, const void* data, int32_t count);
// 0 when the bytes fed were exactly one whole delta that gave the whole target, else -1.
int delta_decoder_end(const DeltaDecoder* d);

// Inflates a packed delta (its masked stream of packedSize bytes giving unpackedSize) from source
// and decodes it as it comes: 0 when both are exactly sound, else -1.
int delta_apply_packed(const ByteSource& source, uint32_t packedSize, uint32_t unpackedSize,
                       uint32_t baseSize, uint32_t targetSize, const DeltaBase& base,
                       const ByteSink& out);
