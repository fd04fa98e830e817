// The second thread of a SHA-256: a ring of buffers, filled by the caller and hashed in order.
#include "host/host_hash_pipe.h"

#include <system_error>

HostSha256Pipe::HostSha256Pipe()
    : slots_(static_cast<uint8_t*>(mem_alloc(SLOTS * SLOT_SIZE))), digest_(host_sha256_begin()) {
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

void HostSha256Pipe::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return queued_ > 0 || stopping_; });
    if (queued_ == 0) return;  // stopping with nothing left
    const int oldest = (filling_ - queued_ + SLOTS) % SLOTS;
    const size_t length = lengths_[oldest];
    lock.unlock();
    const bool added = host_sha256_add(digest_, at(oldest), length) == 0;
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

bool HostSha256Pipe::hand(size_t length) {
  if (!ok() || length > SLOT_SIZE) return false;
  if (!worker_.joinable()) {
    failed_ = failed_ || host_sha256_add(digest_, at(filling_), length) != 0;
    return !failed_;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  // slot() waited for this buffer; a caller that did not call it waits here.
  changed_.wait(lock, [this] { return queued_ < SLOTS; });
  if (failed_) return false;
  lengths_[filling_] = length;
  filling_ = (filling_ + 1) % SLOTS;
  ++queued_;
  changed_.notify_all();
  return true;
}

int HostSha256Pipe::finish(uint8_t* out) {
  if (!ok()) return -1;
  bool failed = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queued_ == 0; });
    failed = failed_;
  }
  HostSha256* digest = digest_;
  digest_ = nullptr;  // ended here, whatever the outcome
  const bool ended = host_sha256_end(digest, out) == 0;
  return ended && !failed ? 0 : -1;
}
