// The player's side of delta updates: the manifest read from the payload, each game file hashed
// and matched to a base, the new copy rebuilt from the base through the streaming decoder (or
// inflated whole) and checked against the manifest's SHA-256.
#include "app/delta_update.h"

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/game_path.h"
#include "app/hashed_sink.h"
#include "app/update_log.h"
#include "app/updater.h"
#include "archive/delta_decode.h"
#include "archive/delta_manifest.h"
#include "archive/masked_stream.h"
#include "archive/pak_format.h"
#include "host/host_hash.h"
#include "vfs/file_handle.h"

namespace {

constexpr const char* kFileNames[DELTA_FILE_COUNT] = {GAME_EXE_NAME, GAME_PACK_NAME};

// A SHA-256 as 64 hexadecimal digits, for the log.
struct HashText {
  char text[HOST_SHA256_TEXT_ROOM];
};
HashText hex_of(const uint8_t* digest) {
  HashText h{};
  host_sha256_text(digest, h.text);
  return h;
}

// The log's line for a game file that is none of the bases: what it is, and what each base is.
void log_no_base(const char* path, const DeltaManifest& manifest, uint8_t file, int64_t size,
                 const uint8_t* digest) {
  char line[160 + (HOST_SHA256_SIZE * 2 + 24) * MANIFEST_MAX_RECORDS];
  int at = digest != nullptr
               ? snprintf(line, sizeof line, "FAILED: the game file (%lld bytes, SHA-256 %s) is none of",
                          static_cast<long long>(size), hex_of(digest).text)
               : snprintf(line, sizeof line, "FAILED: the game file (%lld bytes) is none of",
                          static_cast<long long>(size));
  for (int i = 0; i < manifest.count && at > 0 && size_t(at) < sizeof line; ++i) {
    const ManifestRecord& r = manifest.records[i];
    if (r.file != file || r.base == DELTA_NO_BASE) continue;
    at += snprintf(line + at, sizeof line - size_t(at), " [%u bytes, SHA-256 %s]",
                   unsigned(r.baseSize), hex_of(r.baseSha256).text);
  }
  UpdateLogStep(line, path);
}

bool member_exists(const char* name) {
  const int32_t member = vfs_open(name, HOST_MODE_READ);
  if (member < 0) return false;
  vfs_close(member);
  return true;
}

// The manifest's bytes read whole: 1 read, 0 when the payload has none, -1 when it is damaged.
int read_manifest(DeltaManifest* manifest) {
  const int32_t member = vfs_open(DELTA_MANIFEST_MEMBER, HOST_MODE_READ);
  if (member < 0) return 0;
  uint8_t bytes[MANIFEST_MAX_SIZE];
  const int32_t size = vfs_size(member);
  const bool read = size > 0 && size_t(size) <= sizeof bytes && vfs_read(member, bytes, size) == size;
  vfs_close(member);
  return read && delta_manifest_decode(bytes, size_t(size), manifest) == 0 ? 1 : -1;
}

// Picks how one listed file is written: 0 or the result that ends the run.
uint32_t plan_file(const char* folder, const DeltaManifest& manifest, uint8_t file, DeltaFilePlan* out) {
  const ManifestRecord* whole = nullptr;
  bool sized = false;  // some base has the game file's size
  char path[WORK_PATH_ROOM];
  if (BuildGamePath(path, sizeof path, folder, kFileNames[file]) != 0) return RESULT_FAILED;
  uint32_t attributes = 0;
  const int found = host_lookup(path, &attributes);
  if (found != HOST_FOUND && found != HOST_ABSENT) return RESULT_FAILED;
  int64_t size = -1;
  if (found == HOST_FOUND && (attributes & HOST_ATTR_DIRECTORY) == 0) {
    const HostHandle h = host_open(path, HOST_MODE_READ);
    if (h == HOST_INVALID_HANDLE) return RESULT_FAILED;
    size = host_size(h);
    host_close(h);
  }
  for (int i = 0; i < manifest.count; ++i) {
    const ManifestRecord& r = manifest.records[i];
    if (r.file != file) continue;
    out->listed = true;
    out->record = r;
    if (r.base == DELTA_NO_BASE) whole = &r;
    if (r.base != DELTA_NO_BASE && int64_t(r.baseSize) == size) sized = true;
  }
  uint8_t digest[HOST_SHA256_SIZE];
  if (sized) {
    int32_t hashedSize = -1;
    if (host_sha256_file(path, digest, &hashedSize) != 0) return RESULT_FAILED;
    for (int i = 0; i < manifest.count; ++i) {
      const ManifestRecord& r = manifest.records[i];
      if (r.file != file || r.base == DELTA_NO_BASE || int64_t(r.baseSize) != hashedSize ||
          memcmp(r.baseSha256, digest, HOST_SHA256_SIZE) != 0)
        continue;
      out->fromBase = true;
      out->record = r;
      return 0;
    }
  }
  if (whole == nullptr) {
    log_no_base(path, manifest, file, size, sized ? digest : nullptr);
    return RESULT_GAME_FILES_BAD;
  }
  out->record = *whole;
  return 0;
}

// The base is read a window at a time, so the many short copies of a changed executable do not
// each cost a read; copies of a window or more are read straight into the decoder's buffer. The
// new copy goes through a hashed sink: written a buffer at a time, hashed on a second thread.
constexpr int32_t kBaseWindow = 64 << 10;

struct Rebuild {
  HostHandle base;
  int64_t baseSize;
  HostHandle staged;
  uint8_t* window;      // kBaseWindow bytes of the base from windowStart
  int64_t windowStart;
  int32_t windowLength;
  bool ioFailed;  // a read of the base or a write of the new copy failed (not the delta)
};

bool io_failed(Rebuild* r) {
  r->ioFailed = true;
  return false;
}

bool read_base_at(Rebuild* r, int64_t offset, void* buffer, int32_t count) {
  return host_seek(r->base, int32_t(offset), HOST_SEEK_BEGIN) == int32_t(offset) &&
         host_read(r->base, buffer, count) == count;
}

bool read_base(void* context, uint32_t offset, void* buffer, int32_t count) {
  auto* r = static_cast<Rebuild*>(context);
  // A whole window's worth goes straight to the caller.
  if (count >= kBaseWindow) return read_base_at(r, offset, buffer, count) || io_failed(r);
  if (offset < r->windowStart || offset + int64_t(count) > r->windowStart + r->windowLength) {
    const int64_t rest = r->baseSize - offset;
    const int32_t length = rest < kBaseWindow ? int32_t(rest) : kBaseWindow;
    if (length < count || !read_base_at(r, offset, r->window, length)) return io_failed(r);
    r->windowStart = offset;
    r->windowLength = length;
  }
  memcpy(buffer, r->window + (offset - r->windowStart), size_t(count));
  return true;
}

bool write_staged(void* context, const void* data, int32_t count) {
  auto* r = static_cast<Rebuild*>(context);
  return host_write(r->staged, data, count) == count || io_failed(r);
}

bool read_delta(void* context, void* buffer, int32_t count) {
  return vfs_read(*static_cast<int32_t*>(context), buffer, count) == count;
}

// Rebuilds the new copy into r's staged file from the delta member: 0, -1, DELTA_CONTENT_WRONG.
int apply_delta(Rebuild* r, HashedSink* out, const char* deltaName, const ManifestRecord& record) {
  int32_t member = vfs_open(deltaName, HOST_MODE_READ);
  if (member < 0) return DELTA_CONTENT_WRONG;
  uint8_t head[PAK_MEMBER_RECORD_HEADER_SIZE];
  const int32_t length = vfs_size(member);
  bool sound = length >= int32_t(sizeof head) && vfs_read(member, head, int32_t(sizeof head)) == int32_t(sizeof head);
  const PakMemberRecord packed = pak_member_record_decode(head);
  sound = sound && packed.packedSize <= uint32_t(length) - uint32_t(sizeof head) &&
          masked_ratio_possible(packed.packedSize, packed.unpackedSize);
  const int applied =
      sound ? delta_apply_packed(ByteSource{read_delta, &member}, packed.packedSize, packed.unpackedSize,
                                 record.baseSize, record.targetSize, DeltaBase{read_base, r},
                                 out->sink())
            : -1;
  vfs_close(member);
  if (applied == 0) return 0;
  // A failed write or digest is a failure of this machine, not a damaged delta.
  return r->ioFailed || !out->ok() ? -1 : DELTA_CONTENT_WRONG;
}

int rebuild(HostHandle staged, const char* folder, const ManifestRecord& record, const char* memberName,
            uint8_t* digest, ContentId* written) {
  char basePath[WORK_PATH_ROOM];
  char deltaName[DELTA_MEMBER_NAME_ROOM];
  if (BuildGamePath(basePath, sizeof basePath, folder, kFileNames[record.file]) != 0 ||
      !delta_member_name(memberName, record.base, deltaName, sizeof deltaName))
    return -1;
  auto* window = static_cast<uint8_t*>(mem_alloc(size_t(kBaseWindow)));
  Rebuild r{host_open(basePath, HOST_MODE_READ), record.baseSize, staged, window, 0, 0, false};
  HashedSink out(ByteSink{write_staged, &r});
  int result = -1;
  if (r.base != HOST_INVALID_HANDLE && out.ok() && window != nullptr) {
    result = apply_delta(&r, &out, deltaName, record);
    if (result == 0 && !out.drain()) result = -1;
  }
  host_close(r.base);
  mem_free(window);
  // The last bytes are hashed while the new copy is flushed.
  if (result == 0 && host_flush(staged) != 0) result = -1;
  if (out.finish(digest) != 0 && result == 0) result = -1;
  if (result == 0 && written != nullptr) *written = out.content();
  return result;
}

}  // namespace

uint32_t DeltaPlanMake(const char* folder, DeltaPlan* plan) {
  *plan = DeltaPlan{};
  DeltaManifest manifest;
  const int read = read_manifest(&manifest);
  if (read < 0) return RESULT_PACK_DAMAGED;
  if (read == 0) return 0;
  plan->manifest = true;
  for (uint8_t file = 0; file < DELTA_FILE_COUNT; ++file) {
    const uint32_t refused = plan_file(folder, manifest, file, &plan->files[file]);
    if (refused != 0) return refused;
    const DeltaFilePlan& p = plan->files[file];
    // A listed file either has its delta or travels whole; the payload must hold which.
    if (!p.listed) continue;
    char deltaName[DELTA_MEMBER_NAME_ROOM];
    const char* whole = file == DELTA_FILE_EXE ? PAYLOAD_EXE : PAYLOAD_PACK;
    const bool carried = p.fromBase ? delta_member_name(whole, p.record.base, deltaName, sizeof deltaName) &&
                                          member_exists(deltaName)
                                    : member_exists(whole);
    if (!carried) return RESULT_PACK_DAMAGED;
  }
  return 0;
}

int DeltaWriteGameFile(HostHandle staged, const char* folder, const DeltaPlan& plan, int file,
                       const char* memberName) {
  return DeltaWriteGameFile(staged, folder, plan, file, memberName, nullptr);
}

int DeltaWriteGameFile(HostHandle staged, const char* folder, const DeltaPlan& plan, int file,
                       const char* memberName, ContentId* written) {
  const DeltaFilePlan& p = plan.files[file];
  if (!p.listed) {
    return written != nullptr ? ExtractMemberHashed(staged, memberName, nullptr, written)
                              : ExtractMemberTo(staged, memberName);
  }
  uint8_t digest[HOST_SHA256_SIZE];
  if (p.fromBase) {
    const int rebuilt = rebuild(staged, folder, p.record, memberName, digest, written);
    if (rebuilt != 0) return rebuilt;
  } else if (ExtractMemberHashed(staged, memberName, digest, written) != 0) {
    return -1;
  }
  const int64_t size = host_size(staged);
  if (size != int64_t(p.record.targetSize) || memcmp(digest, p.record.targetSha256, HOST_SHA256_SIZE) != 0) {
    char line[400];
    snprintf(line, sizeof line,
             "FAILED: the new copy (%lld bytes, SHA-256 %s) is not the manifest's (%u bytes, "
             "SHA-256 %s)",
             static_cast<long long>(size), hex_of(digest).text, unsigned(p.record.targetSize),
             hex_of(p.record.targetSha256).text);
    char path[WORK_PATH_ROOM];
    UpdateLogStep(line, BuildGamePath(path, sizeof path, folder, kFileNames[file]) == 0 ? path : folder);
    return DELTA_CONTENT_WRONG;
  }
  return 0;
}
