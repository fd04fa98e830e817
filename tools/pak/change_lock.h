// One change of an archive at a time: the change lock beside the archive (ARCHIVE.lock), held
// from a change's first read of the archive to its final rename, so that two processes never
// both copy an archive and each rename its copy over it.
#pragma once

#include <string>

#include "host/host.h"
#include "tools/pak/tool_io.h"

class ChangeLock {
 public:
  ChangeLock() = default;
  ~ChangeLock() { release(); }
  ChangeLock(const ChangeLock&) = delete;
  ChangeLock& operator=(const ChangeLock&) = delete;

  // Takes the archive's lock without waiting; reports "in use by another change" when another
  // change holds it, and returns false.
  bool take(const std::string& archive, ToolIo& io);
  // Gives the lock up and removes its file (also when the process is interrupted meanwhile).
  void release();

 private:
  std::string archive_;
  HostHandle lock_ = HOST_INVALID_HANDLE;
};
