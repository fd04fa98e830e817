// Renaming a disk file or an archive member to the same path with another extension, the way
// the archive tools keep a backup copy: any file or member already under that name goes first.
#include <cstring>

#include "host/path.h"
#include "vfs/delete_rename.h"
#include "vfs/mount_path.h"

int rename_with_extension(const char* path, const char* extension) {
  if (path == nullptr) return -1;
  char target[VFS_RENAME_TARGET_ROOM];
  const size_t length = strnlen(path, sizeof target);
  if (length == sizeof target) return -1;
  std::memcpy(target, path, length + 1);
  if (path_replace_extension(target, sizeof target, extension) != 0) return -1;
  // Deleting the target would delete the file itself when it already has that extension.
  if (path_same_ignoring_case(target, path)) return -1;

  vfs_delete(target);  // usually there is none
  if (vfs_archive_for_path(path) < 0) return vfs_rename(path, target);
  char name[VFS_RENAME_TARGET_ROOM];
  path_file_part(name, target);
  return vfs_rename(path, name);
}
