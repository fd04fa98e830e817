// The change lock of an archive taken and given up through the host layer, its file watched so
// that an interrupted change leaves none behind.
#include "tools/pak/change_lock.h"

#include "tools/pak/file_ops.h"

bool ChangeLock::take(const std::string& archive, ToolIo& io) {
  release();
  const HostHandle lock = host_lock(archive.c_str());
  if (lock == HOST_IN_USE) return fail(io, archive, "in use by another change");
  if (lock == HOST_INVALID_HANDLE) {
    return fail(io, archive, "cannot take its change lock (" + archive + ".lock)");
  }
  archive_ = archive;
  lock_ = lock;
  watch_temp_file(archive_ + ".lock");
  return true;
}

void ChangeLock::release() {
  if (lock_ == HOST_INVALID_HANDLE) return;
  forget_temp_file(archive_ + ".lock");
  host_unlock(archive_.c_str(), lock_);
  lock_ = HOST_INVALID_HANDLE;
}
