// Streaming members in the tool: archive bytes read at a moving position, content inflated or
// copied chunk by chunk into a sink, files packed into members with the head written last.
#include "tools/pak/member_stream.h"

#include <algorithm>
#include <vector>

#include "archive/masked_deflate.h"
#include "archive/masked_inflate.h"
#include "archive/masked_stream.h"
#include "tools/pak/progress.h"
#include "vfs/file_handle.h"

namespace {

constexpr int32_t kCopyChunk = 1 << 20;

struct ArchiveSource {
  const ArchiveReader* reader;
  int64_t position;
  Progress* progress;
  bool failed = false;
};

bool read_archive(void* context, void* buffer, int32_t count) {
  auto* s = static_cast<ArchiveSource*>(context);
  if (!s->reader->read_at(s->position, buffer, count)) {
    s->failed = true;
    return false;
  }
  s->position += count;
  if (s->progress != nullptr) s->progress->advance(count);
  return true;
}

struct CountingSink {
  const ByteSink* sink;
  bool refused = false;
};

bool write_counted(void* context, const void* data, int32_t count) {
  auto* s = static_cast<CountingSink*>(context);
  if (s->sink->write(s->sink->context, data, count)) return true;
  s->refused = true;
  return false;
}

// Copies count bytes from the source to the sink in chunks.
bool copy(const ByteSource& source, int64_t count, const ByteSink& sink) {
  std::vector<uint8_t> chunk(size_t(std::min<int64_t>(count, kCopyChunk)));
  while (count > 0) {
    const int32_t n = int32_t(std::min<int64_t>(count, kCopyChunk));
    if (!source.read(source.context, chunk.data(), n) || !sink.write(sink.context, chunk.data(), n))
      return false;
    count -= n;
  }
  return true;
}

struct FileSource {
  HostHandle file;
  Progress* progress;
  bool failed = false;
};

bool read_file(void* context, void* buffer, int32_t count) {
  auto* s = static_cast<FileSource*>(context);
  if (host_read(s->file, buffer, count) != count) {
    s->failed = true;
    return false;
  }
  if (s->progress != nullptr) s->progress->advance(count);
  return true;
}

bool write_member(void* context, const void* data, int32_t count) {
  return vfs_write(*static_cast<int32_t*>(context), data, count) == count;
}

}  // namespace

bool member_streams(const ArchiveReader& reader, int32_t i) {
  PakMemberRecord record{};
  const uint64_t stored = uint64_t(std::max<int32_t>(reader.entry(i).size, 0));
  if (streams(stored)) return true;
  // No sound record of so few bytes unpacks past the budget (a head that says otherwise is
  // found damaged either way): its head need not be read.
  if (!streams(stored * MASKED_MAX_INFLATE_RATIO)) return false;
  return reader.packed_record(i, &record) && streams(record.unpackedSize);
}

StreamResult stream_member(const ArchiveReader& reader, int32_t i, bool stored,
                           const ByteSink& sink, Progress* progress) {
  const int64_t start = reader.stored_start(i);
  if (start < 0) return StreamResult::Unreadable;
  const int32_t size = reader.entry(i).size;
  ArchiveSource from{&reader, start, progress};
  CountingSink to{&sink};
  const ByteSource source{read_archive, &from};
  const ByteSink counted{write_counted, &to};
  const auto outcome = [&](bool ok, StreamResult failure) {
    if (ok) return StreamResult::Ok;
    if (from.failed) return StreamResult::Unreadable;
    return to.refused ? StreamResult::Refused : failure;
  };

  uint8_t head[PAK_RECORD_PROBE] = {};
  const size_t available = std::min<size_t>(sizeof head, size_t(size));
  if (!reader.read_at(start, head, int32_t(available))) return StreamResult::Unreadable;
  PakMemberRecord record{};
  if (stored || !record_recognised(head, available, size, &record)) {
    return outcome(copy(source, size, counted), StreamResult::Unreadable);
  }
  if (!record_plausible(record, head, available, size)) return StreamResult::Damaged;
  from.position = start + int64_t(PAK_MEMBER_RECORD_HEADER_SIZE);
  if (progress != nullptr) progress->advance(int64_t(PAK_MEMBER_RECORD_HEADER_SIZE));
  const int inflated = masked_inflate_stream(source, record.packedSize, record.unpackedSize, counted);
  if (inflated == 0 && progress != nullptr) {
    progress->advance(size - int64_t(PAK_MEMBER_RECORD_HEADER_SIZE) - record.packedSize);
  }
  return outcome(inflated == 0, StreamResult::Damaged);
}

bool stream_file_to_member(const std::string& file, int64_t size, bool stored, int level,
                           int32_t handle, Progress* progress, bool* readFailed) {
  *readFailed = false;
  const HostHandle in = host_open(file.c_str(), HOST_MODE_READ);
  if (in == HOST_INVALID_HANDLE) {
    *readFailed = true;
    return false;
  }
  FileSource from{in, progress};
  int32_t to = handle;
  const ByteSource source{read_file, &from};
  const ByteSink sink{write_member, &to};
  bool ok = false;
  if (stored) {
    ok = copy(source, size, sink);
  } else if (size <= int64_t(HOST_MAX_FILE_SIZE)) {
    // The head's sizes are known only at the end: a placeholder now, the head then.
    uint8_t head[PAK_MEMBER_RECORD_HEADER_SIZE] = {};
    ok = vfs_write(handle, head, int32_t(sizeof head)) == int32_t(sizeof head);
    const int64_t packed = ok ? masked_deflate_stream(source, uint32_t(size), level, sink) : -1;
    ok = packed > 0 && packed <= int64_t(HOST_MAX_FILE_SIZE) - int64_t(sizeof head);
    if (ok) {
      pak_member_record_encode(head, PakMemberRecord{uint32_t(size), uint32_t(packed)});
      ok = vfs_seek(handle, 0, HOST_SEEK_BEGIN) == 0 &&
           vfs_write(handle, head, int32_t(sizeof head)) == int32_t(sizeof head);
    }
  }
  host_close(in);
  *readFailed = from.failed;
  return ok;
}
