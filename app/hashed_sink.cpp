// The hashed sink: gather, write, hand over.
#include "app/hashed_sink.h"

#include <cstring>

namespace {

constexpr int32_t kRoom = int32_t(HostSha256Pipe::SLOT_SIZE);

}  // namespace

HashedSink::HashedSink(const ByteSink& to) : to_(to), out_(pipe_.slot()) {}

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
