// Member extraction: reads an archive member holding a packed record (unpacked size, packed
// size, masked zlib stream) in chunks, inflates it as it goes and writes the content to a disk
// file or to a member of a writable archive, in memory that does not grow with the member.
#include "app/hashed_sink.h"
#include "app/updater.h"
#include "archive/masked_inflate.h"
#include "archive/masked_stream.h"
#include "archive/pak_format.h"
#include "host/host.h"
#include "vfs/file_handle.h"

namespace {

bool read_member(void* context, void* buffer, int32_t count) {
  if (vfs_read(*static_cast<int32_t*>(context), buffer, count) != count) return false;
  UiProgressStep(count);
  return true;
}

bool write_target(void* context, const void* data, int32_t count) {
  return vfs_write(*static_cast<int32_t*>(context), data, count) == count;
}

// Inflates the member's record into destination; 0 when it gave exactly the announced content.
// With a hashed sink the content goes through it (and is drained), else straight to destination.
int write_content(int32_t member, int32_t destination, HashedSink* hashed = nullptr) {
  // The record must hold its head and the whole stream it announces.
  const int32_t length = vfs_size(member);
  uint8_t head[PAK_MEMBER_RECORD_HEADER_SIZE];
  if (length < int32_t(sizeof head) || vfs_read(member, head, int32_t(sizeof head)) != int32_t(sizeof head))
    return -1;
  const PakMemberRecord record = pak_member_record_decode(head);
  const uint32_t room = uint32_t(length) - uint32_t(sizeof head);
  if (record.packedSize > room || record.unpackedSize > uint32_t(HOST_MAX_FILE_SIZE)) return -1;
  // Content no stream of that size can give is refused before anything is written.
  if (!masked_ratio_possible(record.packedSize, record.unpackedSize)) return -1;

  int32_t from = member;
  int32_t to = destination;
  if (masked_inflate_stream(ByteSource{read_member, &from}, record.packedSize, record.unpackedSize,
                            hashed != nullptr ? hashed->sink() : ByteSink{write_target, &to}) != 0 ||
      (hashed != nullptr && !hashed->drain()))
    return -1;
  // A disk file is on the disk before anything relies on it.
  if (!vfs_is_member_handle(destination) && host_flush(destination) != 0) return -1;
  return 0;
}

}  // namespace

int ExtractMemberTo(int32_t destination, const char* memberPath) {
  const int32_t member = vfs_open(memberPath, HOST_MODE_READ);
  if (member < 0) return -1;
  const int result = write_content(member, destination);
  vfs_close(member);
  return result;
}

int ExtractMemberHashed(int32_t destination, const char* memberPath, uint8_t* digest,
                        ContentId* written) {
  int32_t to = destination;
  HashedSink hashed(ByteSink{write_target, &to}, digest != nullptr);
  if (!hashed.ok()) return -1;
  const int32_t member = vfs_open(memberPath, HOST_MODE_READ);
  const int result = member >= 0 ? write_content(member, destination, &hashed) : -1;
  if (member >= 0) vfs_close(member);
  if (hashed.finish(digest) != 0) return -1;
  if (written != nullptr) *written = hashed.content();
  return result;
}

int ExtractMember(const char* destination, const char* memberPath) {
  const int32_t member = vfs_open(memberPath, HOST_MODE_READ);
  if (member < 0) return -1;
  const int32_t target = vfs_create(destination, 0);
  if (target < 0) {
    vfs_close(member);
    return -1;
  }
  const int result = write_content(member, target);
  vfs_close(target);
  vfs_close(member);
  // Content that failed any check is not left behind in part: the destination is made empty.
  if (result != 0) {
    const int32_t emptied = vfs_create(destination, 0);
    if (emptied >= 0) vfs_close(emptied);
  }
  return result;
}
