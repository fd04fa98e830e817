// Record heads read in windows: live members sorted by offset, each window covering the heads
// that fall within it, so a directory of many small members costs a few reads.
#include "tools/pak/record_heads.h"

#include <algorithm>

namespace {

constexpr int64_t kWindow = 1 << 20;

}  // namespace

std::vector<std::optional<PakMemberRecord>> read_record_heads(const ArchiveReader& reader) {
  std::vector<std::optional<PakMemberRecord>> heads(size_t(reader.count()));
  const PakArchive& a = reader.archive();
  const int64_t fileSize = host_size(a.file);
  std::vector<int32_t> order;
  for (int32_t i = 0; i < reader.count(); ++i) {
    const PakEntry& e = reader.entry(i);
    const int64_t start = int64_t(a.baseOffset) + e.offset;
    if (e.offset >= int32_t(PAK_HEADER_SIZE) && e.size >= int32_t(PAK_MEMBER_RECORD_HEADER_SIZE) &&
        start + e.size <= fileSize)
      order.push_back(i);
  }
  std::sort(order.begin(), order.end(), [&](int32_t x, int32_t y) {
    return reader.entry(x).offset < reader.entry(y).offset;
  });

  Bytes window;
  int64_t windowStart = 0;
  for (int32_t i : order) {
    const PakEntry& e = reader.entry(i);
    const int64_t start = int64_t(a.baseOffset) + e.offset;
    const int64_t probe = std::min<int64_t>(e.size, int64_t(PAK_RECORD_PROBE));
    if (window.empty() || start < windowStart ||
        start + probe > windowStart + int64_t(window.size())) {
      windowStart = start;
      const int64_t length = std::min(kWindow, fileSize - start);
      window.resize(size_t(length));
      if (host_seek(a.file, int32_t(start), HOST_SEEK_BEGIN) != int32_t(start) ||
          host_read(a.file, window.data(), int32_t(length)) != int32_t(length)) {
        window.clear();
        continue;
      }
    }
    PakMemberRecord record{};
    if (record_recognised(&window[size_t(start - windowStart)], size_t(probe), e.size, &record))
      heads[size_t(i)] = record;
  }
  return heads;
}
