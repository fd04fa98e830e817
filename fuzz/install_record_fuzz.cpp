// Fuzz target for the install record: any bytes as "INSTALL.DAT" in the in-memory host,
// appended to, and the file compared with an independent reading of what the append must give
// (or the same bytes when the record is to be left alone), with no other file left beside it.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/updater.h"
#include "install_record_model.h"
#include "support/host_override.h"
#include "support/memory_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kPath[] = "G:\\INSTALL.DAT";
  memory_host::install();
  const std::vector<uint8_t> old(data, data + size);
  memory_host::put(kPath, old);
  AppendInstallRecord(kPath);
  const std::vector<uint8_t>* now = memory_host::find(kPath);
  if (now == nullptr || *now != install_record_after_append(old)) abort();
  if (memory_host::files().size() != 1) abort();  // no staged copy or backup left behind
  host_restore_all();
  return 0;
}
