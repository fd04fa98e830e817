// The hashed sink: gather, write, hand over; the size and CRC-32 counted beside the digest.
#include "app/hashed_sink.h"

#include <cstring>

#include "archive/checksum.h"

namespace {

constexpr int32_t kRoom = int32_t(HostSha256Pipe::SLOT_SIZE);
// Pieces from this size on are lent to the hashing thread rather than gathered.
constexpr int32_t kLendFrom = 64 << 10;

}  // namespace

HashedSink::HashedSink(const ByteSink& to, bool sha256)
    : pipe_(sha256), to_(to), out_(nullptr) {
  pipe_.tap(count, this);
  out_ = pipe_.slot();
}

bool HashedSink::count(void* context, const uint8_t* data, size_t length) {
  auto* self = static_cast<HashedSink*>(context);
  self->crc_ = pak_crc32(self->crc_, data, length);
  self->counted_ += length;
  return true;
}

bool HashedSink::drain() {
  if (out_ == nullptr) return false;
  if (fill_ == 0) return true;
  const bool handed = to_.write(to_.context, out_, fill_) && pipe_.hand(size_t(fill_));
  fill_ = 0;
  out_ = handed ? pipe_.slot() : nullptr;
  return out_ != nullptr;
}

bool HashedSink::write(const void* data, int32_t count) {
  const auto* from = static_cast<const uint8_t*>(data);
  if (count >= kLendFrom) {
    // Large pieces are not copied: lent to the hashing thread while they are written on, and
    // waited for before the writer may change them. What was gathered goes first.
    if (!drain()) return false;
    const bool written = pipe_.lend(from, size_t(count)) && to_.write(to_.context, from, count);
    const bool taken = pipe_.settle();
    out_ = written && taken ? pipe_.slot() : nullptr;
    return out_ != nullptr;
  }
  while (count > 0) {
    if (out_ == nullptr || (fill_ == kRoom && !drain())) return false;
    const int32_t piece = count < kRoom - fill_ ? count : kRoom - fill_;
    memcpy(out_ + fill_, from, size_t(piece));
    fill_ += piece;
    from += piece;
    count -= piece;
  }
  return true;
}
