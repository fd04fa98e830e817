// Bytes on their way to a file, checked as they go: small pieces gathered in the hashing pipe's
// buffers, each full buffer written to the next sink and then hashed on the pipe's thread while
// the next one is gathered; a large piece hashed there while it is written, without a copy. Their
// size and CRC-32 (the journal's record of a new copy) are counted on that thread too.
// Every new copy of an update is written so.
#pragma once

#include <cstdint>

#include "app/update_journal.h"
#include "archive/byte_pipe.h"
#include "host/host_hash_pipe.h"

class HashedSink {
 public:
  // Without sha256 only the size and CRC-32 are counted.
  explicit HashedSink(const ByteSink& to, bool sha256 = true);
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
  // Waits for the hashing thread and writes the digest of every byte taken (none without
  // sha256): 0 or -1.
  int finish(uint8_t* digest) { return pipe_.finish(digest); }
  // Size and CRC-32 of every byte written on, once finish gave 0.
  ContentId content() const { return ContentId{uint32_t(counted_), crc_}; }

 private:
  static bool take(void* context, const void* data, int32_t count) {
    return static_cast<HashedSink*>(context)->write(data, count);
  }

  static bool count(void* context, const uint8_t* data, size_t length);

  HostSha256Pipe pipe_;
  uint64_t counted_ = 0;  // these two only on the pipe's thread until finish
  uint32_t crc_ = 0;
  ByteSink to_;
  uint8_t* out_;     // the pipe's buffer being gathered
  int32_t fill_ = 0;
};
