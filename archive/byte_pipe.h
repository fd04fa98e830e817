// The two ends a streaming codec works between: a source it reads its input from and a sink
// it hands its output to, each a plain function with the caller's context, in bounded chunks.
#pragma once

#include <cstdint>

struct ByteSource {
  // Reads exactly count bytes into buffer; false when fewer arrive.
  bool (*read)(void* context, void* buffer, int32_t count);
  void* context;
};

struct ByteSink {
  // Takes count bytes (never more than the codec's output chunk); false stops the codec.
  bool (*write)(void* context, const void* data, int32_t count);
  void* context;
};
