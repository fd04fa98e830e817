// A recording host for tests: every host call passes on to the table in place when it was
// installed (the in-memory host, as a rule), and each call that changed the disk is kept with
// what it takes to replay it: the file made (and whether exclusively), the bytes written and
// where, flushes of a file and of a folder, cuts, renames, links, removals, attribute and
// permission changes. Opens are kept too, so that a later write or flush through the handle can
// be tied to its file. Only calls that succeeded are kept: a refused call changed nothing.
// The host may be told to refuse every hard link, as a FAT32 or exFAT folder does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"

namespace recording_host {

enum class Call {
  Open,              // path, handle
  Create,            // path, handle, flags (HOST_CREATE_NEW: exclusive)
  Write,             // handle, offset, bytes
  Flush,             // handle: its data on disk
  Sync,              // path: its data on disk
  Truncate,          // path, offset (the new length)
  Replace,           // path takes to's place (host_replace)
  Move,              // path renamed to to, which must not exist (host_move)
  Link,              // to made a second name of path
  Remove,            // path
  SetAttributes,     // path, flags (the attributes)
  CarryPermissions,  // handle, path (the file whose bits it took)
  SyncFolder,        // path (a folder): its names on disk
  MakeDir,           // path
  RemoveDir,         // path
};

struct Change {
  Call call;
  std::string path;
  std::string to;
  HostHandle handle = HOST_INVALID_HANDLE;
  uint32_t flags = 0;
  int64_t offset = 0;
  std::vector<uint8_t> bytes;
};

// Starts recording afresh over the host table now in place; with refuseLinks, every link fails
// as a folder without hard links refuses it. host_restore_all() (or another install of the
// in-memory host) ends the recording.
void install(bool refuseLinks = false);
// The calls kept since install(), in order.
const std::vector<Change>& changes();
// One kept call in a line, for a failure message ("write #7 @4096 +512", "replace a -> b").
std::string describe(const Change& change);

}  // namespace recording_host
