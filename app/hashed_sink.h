// Bytes on their way to a file, checked as they go: gathered in the hashing pipe's buffers, each
// full buffer written to the next sink and then hashed on the pipe's thread while the next one
// is gathered. The new copies of a delta update and the whole files it checks are written so.
#pragma once

#include <cstdint>

#include "archive/byte_pipe.h"
#include "host/host_hash_pipe.h"

class HashedSink {
 public:
  explicit HashedSink(const ByteSink& to);
  HashedSink(const HashedSink&) = delete;
  HashedSink& operator=(const HashedSink&) = delete;

  // False when the pipe's buffers or digest could not be had, or once a write or the digest failed.
  bool ok() const { return out_ != nullptr; }
  // Gathers count bytes, writing and handing over each buffer that fills: false once a write or
  // the digest failed.
  bool write(const void* data, int32_t count);
  // This as a sink for a codec.
  ByteSink sink() { return ByteSink{take, this}; }
  // Writes and hands over what is gathered: false on a failure.
  bool drain();
  // Waits for the hashing thread and writes the digest of every byte taken: 0 or -1.
  int finish(uint8_t* digest) { return pipe_.finish(digest); }

 private:
  static bool take(void* context, const void* data, int32_t count) {
    return static_cast<HashedSink*>(context)->write(data, count);
  }

  HostSha256Pipe pipe_;
  ByteSink to_;
  uint8_t* out_;     // the pipe's buffer being gathered
  int32_t fill_ = 0;
};
