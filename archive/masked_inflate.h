// Streaming inflate of a masked zlib stream in fixed buffers: the stream is read from a source
// in chunks and its content handed to a sink as it comes, so memory does not grow with it.
#pragma once

#include <cstdint>

#include "archive/byte_pipe.h"

// Input and output chunk sizes: the most the inflate holds besides zlib's own state (less for
// a stream or content smaller than a chunk).
constexpr int32_t MASKED_INFLATE_IN_CHUNK = 256 << 10;
constexpr int32_t MASKED_INFLATE_OUT_CHUNK = 1 << 20;

// Reads the packedSize bytes of a masked stream from source and hands its content to sink.
// Returns 0 when the stream ends exactly at its last byte, gives exactly unpackedSize bytes
// and its check value is sound; -1 otherwise (also on a short read, a refused write or no
// memory). Content past unpackedSize never reaches the sink.
int masked_inflate_stream(const ByteSource& source, uint32_t packedSize, uint32_t unpackedSize,
                          const ByteSink& sink);
