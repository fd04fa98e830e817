// Counting and failing wrappers for every entry of g_hostOps, driven by the one live
// HostFaults object; each passes the call on to the table that was in place before.
#include "support/fault_injection.h"

#include <gtest/gtest.h>
#include <cstdlib>

namespace {

HostFaults* g_active = nullptr;

const HostOps& next() { return g_active->saved(); }
bool fails(HostOp op) { return g_active->count_and_check(op); }
// A call that changes the disk: the process may be planned to end at its entry.
bool changes(HostOp op) {
  g_active->count_change();
  return fails(op);
}

HostHandle f_open(const char* path, int mode) {
  return fails(HostOp::Open) ? HOST_INVALID_HANDLE : next().open(path, mode);
}
HostHandle f_create(const char* path, uint32_t attributes) {
  return changes(HostOp::Create) ? HOST_INVALID_HANDLE : next().create(path, attributes);
}
int32_t f_read(HostHandle handle, void* buffer, int32_t count) {
  if (fails(HostOp::Read)) return 0;
  const int32_t shortfall = g_active->read_shortfall();
  if (shortfall > 0) count = count > shortfall ? count - shortfall : 0;
  return count == 0 ? 0 : next().read(handle, buffer, count);
}
int32_t f_write(HostHandle handle, const void* buffer, int32_t count) {
  if (changes(HostOp::Write)) return 0;
  const int32_t limit = g_active->write_limit(count);
  if (limit >= 0 && limit < count) count = limit;
  return count == 0 ? 0 : next().write(handle, buffer, count);
}
// A close that fails still lets go of the handle, as the systems' close calls do.
int f_close(HostHandle handle) {
  const bool failed = fails(HostOp::Close);
  const int closed = next().close(handle);
  return failed ? -1 : closed;
}
int32_t f_seek(HostHandle handle, int32_t offset, int method) {
  return fails(HostOp::Seek) ? -1 : next().seek(handle, offset, method);
}
int32_t f_size(HostHandle handle) { return fails(HostOp::Size) ? -1 : next().size(handle); }
int f_flush(HostHandle handle) { return changes(HostOp::Flush) ? -1 : next().flush(handle); }
int f_remove(const char* path) { return changes(HostOp::Remove) ? -1 : next().remove(path); }
int f_move(const char* oldPath, const char* newPath) {
  return changes(HostOp::Move) ? -1 : next().move(oldPath, newPath);
}
int f_make_dir(const char* path) { return changes(HostOp::MakeDir) ? -1 : next().make_dir(path); }
int f_remove_dir(const char* path) {
  return changes(HostOp::RemoveDir) ? -1 : next().remove_dir(path);
}
int f_set_attributes(const char* path, uint32_t attributes) {
  return changes(HostOp::SetAttributes) ? -1 : next().set_attributes(path, attributes);
}
uint32_t f_get_attributes(const char* path) {
  return fails(HostOp::GetAttributes) ? HOST_NO_SUCH_FILE : next().get_attributes(path);
}
intptr_t f_find_first(const char* pattern, HostFindData* out) {
  return fails(HostOp::FindFirst) ? -1 : next().find_first(pattern, out);
}
int f_find_next(intptr_t search, HostFindData* out) {
  return fails(HostOp::FindNext) ? -1 : next().find_next(search, out);
}
void f_find_close(intptr_t search) {
  fails(HostOp::FindClose);
  next().find_close(search);
}
void* f_alloc(size_t bytes) { return fails(HostOp::Alloc) ? nullptr : next().alloc(bytes); }
void* f_realloc(void* block, size_t bytes) {
  return fails(HostOp::Realloc) ? nullptr : next().realloc(block, bytes);
}
void f_free(void* block) {
  fails(HostOp::Free);
  next().free(block);
}
int f_replace(const char* from, const char* to) {
  return changes(HostOp::Replace) ? -1 : next().replace(from, to);
}
int f_truncate(const char* path, int32_t length) {
  return changes(HostOp::Truncate) ? -1 : next().truncate(path, length);
}
int f_sync(const char* path) { return changes(HostOp::Sync) ? -1 : next().sync(path); }
int f_lookup(const char* path, uint32_t* attributes) {
  return fails(HostOp::Lookup) ? -1 : next().lookup(path, attributes);
}
int f_link(const char* existing, const char* newPath) {
  return changes(HostOp::Link) ? -1 : next().link(existing, newPath);
}
int f_busy(const char* path) { return fails(HostOp::Busy) ? -1 : next().busy(path); }
int f_carry_permissions(HostHandle handle, const char* like) {
  return changes(HostOp::CarryPermissions) ? -1 : next().carry_permissions(handle, like);
}
int f_sync_folder(const char* path) {
  return changes(HostOp::SyncFolder) ? -1 : next().sync_folder(path);
}
uint32_t f_ticks() { return next().ticks(); }
void f_pause(uint32_t milliseconds) { next().pause(milliseconds); }
int f_flush_volume(const char* path) {
  return changes(HostOp::FlushVolume) ? -1 : next().flush_volume(path);
}
int f_copy_access(const char* from, const char* to) {
  return changes(HostOp::CopyAccess) ? -1 : next().copy_access(from, to);
}
HostHandle f_lock(const char* path) { return fails(HostOp::Lock) ? -1 : next().lock(path); }
int f_unlock(const char* path, HostHandle lock) {
  fails(HostOp::Unlock);
  return next().unlock(path, lock);
}

constexpr HostOps kFaultOps = {
    f_open,        f_create,         f_read,           f_write,       f_close,
    f_seek,        f_size,           f_flush,          f_remove,      f_move,
    f_make_dir,    f_remove_dir,     f_set_attributes, f_get_attributes,
    f_find_first,  f_find_next,      f_find_close,     f_alloc,       f_realloc,
    f_free,        f_replace,        f_truncate,       f_sync,        f_lock,
    f_unlock,      f_lookup,         f_link,           f_busy,        f_carry_permissions,
    f_sync_folder, f_ticks,          f_pause,          f_flush_volume, f_copy_access,
};

}  // namespace

HostFaults::HostFaults() : saved_(g_hostOps) {
  if (g_active != nullptr) {
    ADD_FAILURE() << "HostFaults is already active; only one may live at a time";
    return;
  }
  g_active = this;
  g_hostOps = kFaultOps;
}

HostFaults::~HostFaults() {
  if (g_active != this) return;
  g_hostOps = saved_;
  g_active = nullptr;
}

void HostFaults::fail(HostOp op, int nth) { failures_.push_back({op, nth, false}); }

void HostFaults::fail_from(HostOp op, int nth) { failures_.push_back({op, nth, true}); }

void HostFaults::short_write(int nth, int32_t bytes) {
  shortWrites_.push_back({nth, bytes < 0 ? 0 : bytes});
}

void HostFaults::half_writes_from(int nth) { shortWrites_.push_back({nth, -1}); }

void HostFaults::short_read(int nth, int32_t by, bool onwards) {
  shortReads_.push_back({nth, by, onwards});
}

void HostFaults::exit_at_change(int nth, int code) {
  exitAt_ = nth;
  exitCode_ = code;
}

void HostFaults::count_change() {
  if (++changes_ == exitAt_) std::_Exit(exitCode_);
}

int HostFaults::calls(HostOp op) const { return calls_[static_cast<size_t>(op)]; }

void HostFaults::reset() {
  calls_.fill(0);
  changes_ = 0;
  exitAt_ = 0;
  failures_.clear();
  shortWrites_.clear();
  shortReads_.clear();
}

bool HostFaults::count_and_check(HostOp op) {
  const int call = ++calls_[static_cast<size_t>(op)];
  for (const Failure& f : failures_) {
    if (f.op == op && (call == f.nth || (f.onwards && call > f.nth))) return true;
  }
  return false;
}

int32_t HostFaults::write_limit(int32_t count) const {
  const int call = calls_[static_cast<size_t>(HostOp::Write)];
  for (const ShortWrite& s : shortWrites_) {
    if (s.bytes >= 0 && s.nth == call) return s.bytes;
    if (s.bytes < 0 && call >= s.nth) return count / 2;
  }
  return -1;
}

int32_t HostFaults::read_shortfall() const {
  const int call = calls_[static_cast<size_t>(HostOp::Read)];
  for (const ShortRead& s : shortReads_) {
    if (call == s.nth || (s.onwards && call > s.nth)) return s.by;
  }
  return 0;
}
