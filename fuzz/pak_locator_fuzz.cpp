// Fuzz target for the search of an executable's appended archive: the input becomes a file that
// is searched through its locator, before a certificate table when its PE headers name one.
// Every read is watched: none may reach into the certificate table, and a found archive must lie
// wholly before its locator, with at most seven bytes between the locator and the table.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "archive/pak_recognise.h"
#include "fuzz_file.h"

namespace {

const std::string& input_path() {
  static const std::string path = fuzz_scratch_folder("pak-locator-fuzz") + "/input.exe";
  return path;
}

// The furthest byte any read has reached, through the host table.
int64_t g_position = 0;
int64_t g_readEnd = 0;

int32_t watched_seek(HostHandle handle, int32_t offset, int method) {
  const int32_t result = g_hostDefaultOps.seek(handle, offset, method);
  if (result >= 0) g_position = result;
  return result;
}

int32_t watched_read(HostHandle handle, void* buffer, int32_t count) {
  const int32_t got = g_hostDefaultOps.read(handle, buffer, count);
  if (got > 0) {
    g_position += got;
    g_readEnd = std::max(g_readEnd, g_position);
  }
  return got;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = input_path();
  if (!fuzz_write_file(path, data, size)) return 0;
  g_hostOps = g_hostDefaultOps;
  g_hostOps.seek = watched_seek;
  g_hostOps.read = watched_read;

  const HostHandle file = host_open(path.c_str(), HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) abort();
  PakCertificates table{};
  const bool signedFile = pak_find_certificates(file, int64_t(size), &table) == PakRefusal::None &&
                          table.size != 0;
  g_readEnd = 0;
  PakLocation at{};
  const PakRefusal why = pak_recognise_file(file, true, &at);
  host_close(file);
  g_hostOps = g_hostDefaultOps;

  if (signedFile && g_readEnd > table.offset) abort();  // read into the certificate table
  if (why != PakRefusal::None) return 0;
  if (at.fileSize != int64_t(size) || at.baseOffset < 0 || at.end > at.fileSize) abort();
  if (at.baseOffset != 0 && at.baseOffset + int64_t(PAK_HEADER_SIZE) > at.end) abort();
  if (int64_t(at.baseOffset) + at.header.directoryOffset >= at.end) abort();
  if (at.certificates.size != 0) {
    if (!signedFile || at.certificates.offset != table.offset) abort();
    const int64_t padding = at.certificates.offset - at.end - int64_t(PAK_LOCATOR_SIZE);
    if (padding < 0 || padding > 7) abort();
    if (at.certificates.offset + at.certificates.size != at.fileSize) abort();
  }
  return 0;
}
