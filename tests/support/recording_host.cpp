// The recording wrappers: each disk-changing entry of g_hostOps calls the table saved at
// install() and, when the call succeeded, appends what it did to the recording.
#include "support/recording_host.h"

#include "support/host_override.h"

namespace recording_host {
namespace {

HostOps g_next;
std::vector<Change> g_changes;
bool g_refuseLinks = false;

void keep(Call call, const char* path, const char* to = nullptr,
          HostHandle handle = HOST_INVALID_HANDLE, uint32_t flags = 0, int64_t offset = 0,
          std::vector<uint8_t> bytes = {}) {
  Change c;
  c.call = call;
  c.path = path != nullptr ? path : "";
  c.to = to != nullptr ? to : "";
  c.handle = handle;
  c.flags = flags;
  c.offset = offset;
  c.bytes = std::move(bytes);
  g_changes.push_back(std::move(c));
}

HostHandle r_open(const char* path, int mode) {
  const HostHandle h = g_next.open(path, mode);
  if (h != HOST_INVALID_HANDLE) keep(Call::Open, path, nullptr, h);
  return h;
}
HostHandle r_create(const char* path, uint32_t attributes) {
  const HostHandle h = g_next.create(path, attributes);
  if (h != HOST_INVALID_HANDLE) keep(Call::Create, path, nullptr, h, attributes);
  return h;
}
int32_t r_write(HostHandle handle, const void* buffer, int32_t count) {
  const int32_t at = g_next.seek(handle, 0, HOST_SEEK_CURRENT);
  const int32_t written = g_next.write(handle, buffer, count);
  if (written > 0 && at >= 0) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    keep(Call::Write, nullptr, nullptr, handle, 0, at, std::vector<uint8_t>(bytes, bytes + written));
  }
  return written;
}
int r_flush(HostHandle handle) {
  const int done = g_next.flush(handle);
  if (done == 0) keep(Call::Flush, nullptr, nullptr, handle);
  return done;
}
int r_sync(const char* path) {
  const int done = g_next.sync(path);
  if (done == 0) keep(Call::Sync, path);
  return done;
}
int r_truncate(const char* path, int32_t length) {
  const int done = g_next.truncate(path, length);
  if (done == 0) keep(Call::Truncate, path, nullptr, HOST_INVALID_HANDLE, 0, length);
  return done;
}
int r_replace(const char* from, const char* to) {
  const int done = g_next.replace(from, to);
  if (done == 0) keep(Call::Replace, from, to);
  return done;
}
int r_move(const char* from, const char* to) {
  const int done = g_next.move(from, to);
  if (done == 0) keep(Call::Move, from, to);
  return done;
}
int r_link(const char* existing, const char* newPath) {
  if (g_refuseLinks) return -1;
  const int done = g_next.link(existing, newPath);
  if (done == 0) keep(Call::Link, existing, newPath);
  return done;
}
int r_remove(const char* path) {
  const int done = g_next.remove(path);
  if (done == 0) keep(Call::Remove, path);
  return done;
}
int r_set_attributes(const char* path, uint32_t attributes) {
  const int done = g_next.set_attributes(path, attributes);
  if (done == 0) keep(Call::SetAttributes, path, nullptr, HOST_INVALID_HANDLE, attributes);
  return done;
}
int r_carry_permissions(HostHandle handle, const char* like) {
  const int done = g_next.carry_permissions(handle, like);
  if (done == 0) keep(Call::CarryPermissions, like, nullptr, handle);
  return done;
}
int r_sync_folder(const char* path) {
  const int done = g_next.sync_folder(path);
  if (done == 0) keep(Call::SyncFolder, path);
  return done;
}
int r_make_dir(const char* path) {
  const int done = g_next.make_dir(path);
  if (done == 0) keep(Call::MakeDir, path);
  return done;
}
int r_remove_dir(const char* path) {
  const int done = g_next.remove_dir(path);
  if (done == 0) keep(Call::RemoveDir, path);
  return done;
}

}  // namespace

void install(bool refuseLinks) {
  g_next = g_hostOps;
  g_changes.clear();
  g_refuseLinks = refuseLinks;
  host_override(&HostOps::open, r_open);
  host_override(&HostOps::create, r_create);
  host_override(&HostOps::write, r_write);
  host_override(&HostOps::flush, r_flush);
  host_override(&HostOps::sync, r_sync);
  host_override(&HostOps::truncate, r_truncate);
  host_override(&HostOps::replace, r_replace);
  host_override(&HostOps::move, r_move);
  host_override(&HostOps::link, r_link);
  host_override(&HostOps::remove, r_remove);
  host_override(&HostOps::set_attributes, r_set_attributes);
  host_override(&HostOps::carry_permissions, r_carry_permissions);
  host_override(&HostOps::sync_folder, r_sync_folder);
  host_override(&HostOps::make_dir, r_make_dir);
  host_override(&HostOps::remove_dir, r_remove_dir);
}

const std::vector<Change>& changes() { return g_changes; }

std::string describe(const Change& c) {
  static const char* const kNames[] = {"open",   "create", "write",      "flush",
                                       "sync",   "truncate", "replace",  "move",
                                       "link",   "remove", "attributes", "permissions",
                                       "sync folder", "make folder", "remove folder"};
  std::string line = kNames[size_t(c.call)];
  if (c.handle != HOST_INVALID_HANDLE) line += " #" + std::to_string(c.handle);
  if (!c.path.empty()) line += " " + c.path;
  if (!c.to.empty()) line += " -> " + c.to;
  if (c.call == Call::Create && (c.flags & HOST_CREATE_NEW) != 0) line += " (new)";
  if (c.call == Call::Write) {
    line += " @" + std::to_string(c.offset) + " +" + std::to_string(c.bytes.size());
  }
  if (c.call == Call::Truncate) line += " to " + std::to_string(c.offset);
  return line;
}

}  // namespace recording_host
