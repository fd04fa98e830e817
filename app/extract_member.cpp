// Member extraction: reads an archive member holding a packed record (unpacked size, packed
// size, masked zlib stream), inflates it whole and writes the content to a disk file or to a
// member of a writable archive.
#include <cstring>

#include "app/updater.h"
#include "archive/masked_stream.h"
#include "archive/pak_format.h"
#include "vfs/file_handle.h"
#include "host/host.h"

namespace {

// Inflates the record held in the L-byte buffer and writes the content to destination.
int write_content(int32_t destination, uint8_t* record, int32_t recordLength) {
  // The record must hold its head and the whole stream it announces.
  if (recordLength < int32_t(PAK_MEMBER_RECORD_HEADER_SIZE)) return -1;
  const PakMemberRecord head = pak_member_record_decode(record);
  const uint32_t room = uint32_t(recordLength) - uint32_t(PAK_MEMBER_RECORD_HEADER_SIZE);
  if (head.packedSize > room || head.unpackedSize > uint32_t(HOST_MAX_FILE_SIZE)) return -1;

  auto* content = static_cast<uint8_t*>(mem_alloc(head.unpackedSize));
  if (content == nullptr) return -1;
  int result = 0;
  if (head.unpackedSize != 0) {
    const uint32_t produced = masked_uncompress(content, record + PAK_MEMBER_RECORD_HEADER_SIZE,
                                                head.packedSize, head.unpackedSize);
    // Written only when it inflated to exactly the announced size, and then written whole.
    const int32_t size = int32_t(head.unpackedSize);
    if (produced != head.unpackedSize || vfs_write(destination, content, size) != size) {
      result = -1;
    }
  }
  mem_free(content);
  // A disk file is on the disk before anything relies on it.
  if (result == 0 && !vfs_is_member_handle(destination) && host_flush(destination) != 0) {
    result = -1;
  }
  return result;
}

}  // namespace

int ExtractMember(const char* destination, const char* memberPath) {
  const int32_t member = vfs_open(memberPath, HOST_MODE_READ);
  if (member < 0) return -1;
  const int32_t target = vfs_create(destination, 0);
  if (target < 0) {
    vfs_close(member);
    return -1;
  }
  int result = -1;
  const int32_t length = vfs_size(member);
  auto* record = length >= 0 ? static_cast<uint8_t*>(mem_alloc(size_t(length))) : nullptr;
  if (record != nullptr) {
    if (vfs_read(member, record, length) == length) result = write_content(target, record, length);
    mem_free(record);
  }
  vfs_close(target);
  vfs_close(member);
  return result;
}
