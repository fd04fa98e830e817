// An independent reading of the install record for fuzz targets: the bytes "INSTALL.DAT" must
// hold after "Update.PAK" is appended to its name list (or the same bytes when the record is
// to be left alone).
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> install_record_after_append(const std::vector<uint8_t>& old);
