// Streaming deflate into a masked zlib stream in fixed buffers: the input is read from a
// source in chunks and the stream handed to a sink as it comes, its first byte masked.
#pragma once

#include <cstdint>

#include "archive/byte_pipe.h"

// Reads inputBytes from source and hands the masked stream of them, at level (-1 for zlib's
// default, 0 to 9), to sink. Returns the stream's length, or -1 on a short read, a refused
// write, a bad level or no memory. At levels other than 0 the stream is byte for byte what
// masked_compress2 makes.
int64_t masked_deflate_stream(const ByteSource& source, uint32_t inputBytes, int level,
                              const ByteSink& sink);
