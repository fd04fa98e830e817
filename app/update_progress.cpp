// Update progress: the stored bytes of the payload's two members, under the caption
// "更新中，請稍候…" (updating, please wait).
#include "app/update_progress.h"

#include "app/app_state.h"
#include "app/updater.h"
#include "vfs/file_handle.h"

namespace {

// "更新中，請稍候…": updating, please wait
constexpr char TEXT_UPDATING[] = "\xa7\xf3\xb7\x73\xa4\xa4\xa1\x41\xbd\xd0\xb5\x79\xad\xd4\xa1\x4b";

// The stored bytes of a member (its whole record), known from the directory without a read;
// 0 when there is no such member.
int64_t stored_bytes(const char* memberPath) {
  const int32_t member = vfs_open(memberPath, HOST_MODE_READ);
  if (member < 0) return 0;
  const int32_t size = vfs_size(member);
  vfs_close(member);
  return size > 0 ? size : 0;
}

}  // namespace

void UpdateProgressBegin() {
  if (silentRun) return;  // an unattended run shows no window
  UiProgressBegin(TEXT_UPDATING, stored_bytes(PAYLOAD_EXE) + stored_bytes(PAYLOAD_PACK));
}

void UpdateProgressEnd() {
  if (!silentRun) UiProgressEnd();
}
