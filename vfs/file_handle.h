// Unified file handles: one handle space for disk files (host handles) and archive members
// (VFS_HANDLE_BASE + record slot). The layer moves bytes only; it never compresses.
#pragma once

#include <cstdint>

#include "host/host.h"

constexpr int VFS_MAX_OPEN_FILES = 10;
constexpr int32_t VFS_HANDLE_BASE = 20000;

// An open member. Refers to its entry by position in the archive's directory, so the record
// stays valid when the directory grows or moves.
struct OpenFile {
  int32_t size;
  uint32_t start;  // absolute offset of the member's first byte; 0 marks a free record
  uint32_t tag;
  int32_t position;
  int32_t written;
  int32_t entry;    // position of the member's entry in the archive's directory
  int32_t archive;  // slot in g_archives
  int32_t handedOut;  // 1 when the handle was given to a caller (counted in g_openMemberCount)
  uint32_t generation;  // the archive slot's generation when bound; a mismatch means the
                        // archive was closed under the record, and every access fails
};

// Spelled "struct OpenFile": <windows.h> declares a function OpenFile, which hides the type's
// plain name in files that see both.
extern struct OpenFile g_openFiles[VFS_MAX_OPEN_FILES];
extern int g_openMemberCount;

inline bool vfs_is_member_handle(int32_t handle) {
  return handle >= VFS_HANDLE_BASE && handle < VFS_HANDLE_BASE + VFS_MAX_OPEN_FILES;
}

int32_t vfs_open(const char* path, int mode);
int32_t vfs_create(const char* path, uint32_t attributes);
int32_t vfs_create_new(const char* path, uint32_t attributes);
int vfs_close(int32_t handle);
int32_t vfs_read(int32_t handle, void* buffer, int32_t count);
int32_t vfs_write(int32_t handle, const void* buffer, int32_t count);
int32_t vfs_size(int32_t handle);
int32_t vfs_seek(int32_t handle, int32_t offset, int method);
int vfs_open_member_count();

int vfs_find_free_slot();
int vfs_bind_slot(int slot, const char* path);
int vfs_release_slot(int slot);
