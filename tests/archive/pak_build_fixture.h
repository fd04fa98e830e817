// Small checks shared by the archive-building tests: a file's decoded header, and whether a
// path names anything on disk (asked through the host layer, as the code under test sees it).
#pragma once

#include <cstring>
#include <string>

#include "archive/pak_format.h"
#include "support/pak_fixture.h"
#include "host/host.h"

inline PakHeader header_of(const Bytes& file) {
  PakHeaderBytes hb{};
  if (file.size() >= hb.size()) std::memcpy(hb.data(), file.data(), hb.size());
  return pak_header_decode(hb);
}

inline bool exists(const std::string& path) {
  return host_get_attributes(path.c_str()) != HOST_NO_SUCH_FILE;
}
