// Win32 volume flush: FlushFileBuffers on a handle to the volume that holds a path ("\\.\X:", or
// the volume's own name where it is mounted in a folder). A rename returns before the folder
// change is on disk, and MOVEFILE_WRITE_THROUGH covers only moves done by copying; flushing the
// volume writes the folder changes too. Opening a volume takes an administrator, which the
// updater is; a network share has no volume here to open.
#include <windows.h>

#include <cstring>

#include "host/host_win32.h"

namespace host_win32 {
namespace {

// The device name of the volume whose root is root ("C:\" or a folder it is mounted in), with
// no backslash at its end, into device (MAX_PATH bytes); false when there is none.
bool volume_device(const char* root, char* device) {
  const bool letterRoot = ((root[0] | 0x20) >= 'a' && (root[0] | 0x20) <= 'z') &&
                          root[1] == ':' && root[2] == '\\' && root[3] == '\0';
  if (letterRoot) {
    memcpy(device, "\\\\.\\X:", sizeof "\\\\.\\X:");
    device[4] = root[0];
    return true;
  }
  if (!GetVolumeNameForVolumeMountPointA(root, device, MAX_PATH)) return false;
  const size_t length = strlen(device);
  if (length == 0 || device[length - 1] != '\\') return false;
  device[length - 1] = '\0';
  return true;
}

}  // namespace

int flush_volume(const char* path) {
  if (!path_fits(path)) return -1;
  char root[MAX_PATH];
  if (!GetVolumePathNameA(path, root, sizeof root)) return -1;
  if (root[0] == '\\' && root[1] == '\\') return -1;  // a share named by its server
  if (GetDriveTypeA(root) == DRIVE_REMOTE) return -1;  // a letter mapped to a share
  char device[MAX_PATH];
  if (!volume_device(root, device)) return -1;
  const HANDLE volume = CreateFileA(device, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return -1;
  const bool flushed = FlushFileBuffers(volume) != 0;
  CloseHandle(volume);
  return flushed ? 0 : -1;
}

}  // namespace host_win32
