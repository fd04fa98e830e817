// A SHA-256 taken on a second thread while its caller reads or writes the next bytes: the
// caller fills one of a few fixed buffers, hands it over, and fills the next, while the buffers
// handed over are hashed in order. Checking a file as it is written or read then costs little
// more than writing or reading it. Without a second thread the buffers are hashed as they are
// handed over. Only the caller's thread calls the host table; the hashing thread only hashes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "host/host_hash.h"

// Something else the second thread does with each buffer, in order: false fails the pipe.
using HostPipeTap = bool (*)(void* context, const uint8_t* data, size_t length);

class HostSha256Pipe {
 public:
  static constexpr size_t SLOT_SIZE = 256 << 10;
  static constexpr int SLOTS = 4;

  // Without sha256 only the tap sees the bytes, and finish gives no digest.
  explicit HostSha256Pipe(bool sha256 = true);
  ~HostSha256Pipe();
  HostSha256Pipe(const HostSha256Pipe&) = delete;
  HostSha256Pipe& operator=(const HostSha256Pipe&) = delete;

  // False when the buffers or the digest could not be had (slot and hand then fail).
  bool ok() const { return slots_ != nullptr && (digest_ != nullptr || !sha256_); }
  // Hands every buffer to tap too, on the hashing thread, after the digest took it. Set before
  // the first hand.
  void tap(HostPipeTap tap, void* context) {
    tap_ = tap;
    tapContext_ = context;
  }
  // The SLOT_SIZE bytes to fill next, waiting until they are hashed if they were handed over
  // before; nullptr when not ok. The same buffer until it is handed over.
  uint8_t* slot();
  // Hands over the first length bytes (at most SLOT_SIZE) of the buffer slot() gave, to be
  // hashed after those handed over before. False after any failure.
  bool hand(size_t length);
  // Hands over length bytes of the caller's own memory, to be taken after those handed over
  // before; they must stay as they are until settle returns. False after any failure.
  bool lend(const uint8_t* data, size_t length);
  // Waits until everything handed over or lent is taken: false after any failure.
  bool settle();
  // Waits for every buffer handed over and writes the digest to out (none without sha256): 0,
  // or -1 after any failure.
  int finish(uint8_t* out);

 private:
  void run();
  uint8_t* at(int slot) const { return slots_ + size_t(slot) * SLOT_SIZE; }
  // The digest and the tap take one buffer: false when either failed.
  bool take(const uint8_t* data, size_t length);

  bool sha256_;
  uint8_t* slots_;
  HostSha256* digest_;
  HostPipeTap tap_ = nullptr;
  void* tapContext_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Handed over, by place in the ring: a slot's bytes, or lent bytes (that slot then unused).
  struct Piece {
    const uint8_t* data;
    size_t length;
  };
  // Queues a piece at the place being filled: false after any failure.
  bool queue(const uint8_t* data, size_t length);

  Piece pieces_[SLOTS] = {};
  int filling_ = 0;  // the slot the caller fills
  int queued_ = 0;   // slots handed over and not yet hashed, the oldest first
  bool failed_ = false;
  bool stopping_ = false;
  std::thread worker_;
};
