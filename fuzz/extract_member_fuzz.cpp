// Fuzz target for member extraction: the input after its first byte is the member "#:\M" of an
// archive in the in-memory host, a packed record (head, masked stream) that ExtractMember
// inflates and writes to a disk file, or (first byte odd) through a handle to a member of a
// writable archive. The result and the bytes written are compared with an independent inflate.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/updater.h"
#include "archive/pak_table.h"
#include "masked_model.h"
#include "member_bytes.h"
#include "support/host_override.h"
#include "support/memory_host.h"
#include "support/pak_fixture.h"
#include "vfs/file_handle.h"

namespace {

constexpr char kSourcePak[] = "src.pak";
constexpr char kTargetPak[] = "dst.pak";
constexpr char kMember[] = "#:\\M";
constexpr char kDiskTarget[] = "G:\\out.bin";
constexpr char kMemberTarget[] = "@:\\OUT";
// Content up to this size must be extracted when sound; larger content may meet the in-memory
// host's file limit.
constexpr uint32_t kSureSize = uint32_t(memory_host::FILE_LIMIT / 2);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool toMember = (data[0] & 1) != 0;
  const Bytes record(data + 1, data + size);
  memory_host::install();
  FixtureArchive source;
  source.firstLetter = source.lastLetter = '#';
  source.members = {{kMember, record}};
  memory_host::put(kSourcePak, pak_fixture_bytes(source));
  FixtureArchive target;  // an empty writable archive serving '@'
  memory_host::put(kTargetPak, pak_fixture_bytes(target));
  if (pak_open(kSourcePak, PAK_OPEN_READ) < 0) abort();
  if (toMember && pak_open(kTargetPak, PAK_OPEN_READWRITE) < 0) abort();

  const char* destination = toMember ? kMemberTarget : kDiskTarget;
  const int result = ExtractMember(destination, kMember);
  const std::optional<Bytes> expected = record_content(record, uint32_t(memory_host::FILE_LIMIT));
  if (result == 0) {
    // Extracted: exactly what the record holds.
    if (!expected) abort();
    const std::optional<Bytes> written =
        toMember ? member_bytes(kMemberTarget)
                 : std::optional<Bytes>(*memory_host::find(kDiskTarget));
    if (!written || *written != *expected) abort();
  } else if (expected && expected->size() <= kSureSize) {
    abort();  // a sound record of a size the host takes was refused
  }
  pak_close_all();
  if (g_openMemberCount != 0) abort();
  host_restore_all();
  return 0;
}
