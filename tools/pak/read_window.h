// Small members read through one window on the archive's file: members lie one after another,
// so one read of the window serves hundreds of them where each would cost a seek and a read.
#pragma once

#include <cstdint>

#include "tools/pak/archive_reader.h"

class ReadWindow {
 public:
  // The member's stored bytes, as ArchiveReader::read_stored gives them.
  bool read_stored(const ArchiveReader& reader, int32_t i, Bytes* out);

 private:
  Bytes bytes_;
  int64_t start_ = 0;  // where bytes_ begins in the archive's file
};
