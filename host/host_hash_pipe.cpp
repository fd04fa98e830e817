// The second thread of a SHA-256: a ring of buffers, filled by the caller and hashed in order.
#include "host/host_hash_pipe.h"

#include <system_error>

HostSha256Pipe::HostSha256Pipe(bool sha256)
    : sha256_(sha256),
      slots_(static_cast<uint8_t*>(mem_alloc(SLOTS * SLOT_SIZE))),
      digest_(sha256 ? host_sha256_begin() : nullptr) {
  if (!ok()) return;
  try {
    worker_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No second thread: hand() hashes on the caller's.
  }
}

HostSha256Pipe::~HostSha256Pipe() {
  if (worker_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }
  if (digest_ != nullptr) {
    uint8_t unused[HOST_SHA256_SIZE];
    host_sha256_end(digest_, unused);
  }
  mem_free(slots_);
}

bool HostSha256Pipe::take(const uint8_t* data, size_t length) {
  const bool hashed = digest_ == nullptr || host_sha256_add(digest_, data, length) == 0;
  return hashed && (tap_ == nullptr || tap_(tapContext_, data, length));
}

void HostSha256Pipe::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return queued_ > 0 || stopping_; });
    if (queued_ == 0) return;  // stopping with nothing left
    const Piece piece = pieces_[(filling_ - queued_ + SLOTS) % SLOTS];
    lock.unlock();
    const bool added = take(piece.data, piece.length);
    lock.lock();
    if (!added) failed_ = true;
    --queued_;
    changed_.notify_all();
  }
}

uint8_t* HostSha256Pipe::slot() {
  if (!ok()) return nullptr;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queued_ < SLOTS; });
  return at(filling_);
}

bool HostSha256Pipe::queue(const uint8_t* data, size_t length) {
  if (!worker_.joinable()) {
    failed_ = failed_ || !take(data, length);
    return !failed_;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  // slot() waited for this place; a caller that did not call it waits here.
  changed_.wait(lock, [this] { return queued_ < SLOTS; });
  if (failed_) return false;
  pieces_[filling_] = Piece{data, length};
  filling_ = (filling_ + 1) % SLOTS;
  ++queued_;
  changed_.notify_all();
  return true;
}

bool HostSha256Pipe::hand(size_t length) {
  if (!ok() || length > SLOT_SIZE) return false;
  return queue(at(filling_), length);
}

bool HostSha256Pipe::lend(const uint8_t* data, size_t length) {
  return ok() && queue(data, length);
}

bool HostSha256Pipe::settle() {
  if (!ok()) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queued_ == 0; });
  return !failed_;
}

int HostSha256Pipe::finish(uint8_t* out) {
  if (!ok()) return -1;
  bool failed = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queued_ == 0; });
    failed = failed_;
  }
  if (!sha256_) return failed ? -1 : 0;
  HostSha256* digest = digest_;
  digest_ = nullptr;  // ended here, whatever the outcome
  const bool ended = host_sha256_end(digest, out) == 0;
  return ended && !failed ? 0 : -1;
}
