// Host failure injection for tests: while a HostFaults object lives, every host call passes
// through counting wrappers in g_hostOps that can fail a chosen call (an allocation or a
// reallocation refused included), cut a read or a write short, or end the process at the entry
// of a call that changes the disk (a kill or a power cut at that moment). The clock of the waits
// on a held file passes through uncounted.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "host/host.h"

enum class HostOp {
  Open,
  Create,
  Read,
  Write,
  Close,
  Seek,
  Size,
  Flush,
  Remove,
  Move,
  MakeDir,
  RemoveDir,
  SetAttributes,
  GetAttributes,
  FindFirst,
  FindNext,
  FindClose,
  Alloc,
  Realloc,
  Free,
  Replace,
  Truncate,
  Sync,
  Lock,
  Unlock,
  Lookup,
  Link,
  Busy,
  CarryPermissions,
  SyncFolder,
  FlushVolume,
  CopyAccess,
  Count  // number of operations, not one of them
};

// One at a time: constructing a second while one lives is a test failure. The table found at
// construction is restored on destruction. Call numbers count from 1 per operation.
class HostFaults {
 public:
  HostFaults();
  ~HostFaults();
  HostFaults(const HostFaults&) = delete;
  HostFaults& operator=(const HostFaults&) = delete;

  // The nth call of op fails without reaching the host (FindClose, Free and Unlock cannot
  // fail: what they give up is gone either way; a failed Close still closes the handle and then
  // reports the failure).
  void fail(HostOp op, int nth);
  // The nth call of op and every later one fail (a full disk, a heap that stays exhausted).
  void fail_from(HostOp op, int nth);
  // The nth write passes at most bytes bytes on to the host and returns what it wrote.
  void short_write(int nth, int32_t bytes);
  // From the nth write on, each passes half its bytes on to the host (a disk filling up).
  void half_writes_from(int nth);
  // The nth read moves by bytes fewer than asked (never below 0), as a file cut short under
  // the reader would; with onwards, every later read too.
  void short_read(int nth, int32_t by, bool onwards = false);
  // The nth call that changes the disk (create, write, flush, remove, move, folder changes,
  // attributes, replace, truncate, sync, link, permissions, folder sync) ends the process with _Exit(code) before it
  // reaches the host.
  // attributes, replace, truncate, sync, link, volume flush, access copy) ends the process with
  // _Exit(code) before it reaches the host.
  void exit_at_change(int nth, int code);
  // Calls that change the disk so far.
  int changes() const { return changes_; }
  // Used by the wrappers: counts a disk-changing call and ends the process when planned.
  void count_change();
  // Calls of op so far, failed ones included.
  int calls(HostOp op) const;
  // Forgets the counts and every planned failure.
  void reset();

  // Used by the wrappers: counts a call of op; true when it is planned to fail.
  bool count_and_check(HostOp op);
  // Used by the write wrapper: the byte limit for a write of count bytes, or -1.
  int32_t write_limit(int32_t count) const;
  // Used by the read wrapper: how many bytes fewer the current read moves (0: all of them).
  int32_t read_shortfall() const;
  const HostOps& saved() const { return saved_; }

 private:
  struct Failure {
    HostOp op;
    int nth;
    bool onwards;
  };
  struct ShortWrite {
    int nth;
    int32_t bytes;  // -1: half of each write from the nth on
  };
  struct ShortRead {
    int nth;
    int32_t by;
    bool onwards;
  };

  HostOps saved_;
  std::array<int, static_cast<size_t>(HostOp::Count)> calls_{};
  std::vector<Failure> failures_;
  std::vector<ShortWrite> shortWrites_;
  std::vector<ShortRead> shortReads_;
  int changes_ = 0;
  int exitAt_ = 0;
  int exitCode_ = 0;
};
