// Reads the header of a PAK archive (through the trailing locator when the name ends in
// ".exe") and checks it as pak_open does, so that the update can tell a pack that is no
// archive from one that could not be read.
#include "app/archive_probe.h"

#include "archive/pak_format.h"
#include "host/host.h"

namespace {

bool read_at(HostHandle file, int64_t position, void* buffer, int32_t count) {
  return host_seek(file, int32_t(position), HOST_SEEK_BEGIN) == position &&
         host_read(file, buffer, count) == count;
}

ArchiveProbe probe_open_file(HostHandle file, bool executable, char letter) {
  const int64_t fileSize = host_size(file);
  if (fileSize < 0) return ArchiveProbe::Unreadable;
  int64_t start = 0;
  int64_t end = fileSize;
  if (executable) {
    if (fileSize < int64_t(PAK_LOCATOR_SIZE)) return ArchiveProbe::NotArchive;
    end = fileSize - int64_t(PAK_LOCATOR_SIZE);
    uint8_t locator[PAK_LOCATOR_SIZE];
    if (!read_at(file, end, locator, sizeof locator)) return ArchiveProbe::Unreadable;
    start = pak_locator_decode(locator);
    if (start == 0) end = fileSize;  // an archive taking the whole file, locator included
  }
  if (start + int64_t(PAK_HEADER_SIZE) > end) return ArchiveProbe::NotArchive;

  PakHeaderBytes bytes{};
  if (!read_at(file, start, bytes.data(), int32_t(bytes.size()))) return ArchiveProbe::Unreadable;
  const PakHeader h = pak_header_decode(bytes);
  const auto served = static_cast<uint8_t>(letter);
  if (h.magic != PAK_MAGIC || h.entryCount < 0 || h.packedDirectorySize < 0 ||
      h.directoryOffset < int32_t(PAK_HEADER_SIZE) || start + h.directoryOffset >= end ||
      served < h.firstLetter || served > h.lastLetter) {
    return ArchiveProbe::NotArchive;
  }
  return ArchiveProbe::Archive;
}

}  // namespace

ArchiveProbe ProbeArchive(const char* path, char letter) {
  const uint32_t attributes = host_get_attributes(path);
  if (attributes == 0xFFFFFFFFu) return ArchiveProbe::Absent;
  if ((attributes & HOST_ATTR_DIRECTORY) != 0) return ArchiveProbe::NotArchive;
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return ArchiveProbe::Unreadable;
  const ArchiveProbe result = probe_open_file(file, pak_path_is_executable(path), letter);
  host_close(file);
  return result;
}
