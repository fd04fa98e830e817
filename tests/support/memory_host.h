// An in-memory host for tests, benchmarks and fuzz targets: the file calls of g_hostOps served
// from files held in memory under their exact names, so nothing reaches the disk. Each file is
// open at most once at a time; searches and folders are refused; the heap stays the system's.
// host_restore_all() (support/host_override.h) puts the real host back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace memory_host {

// Bytes a file may grow to by writing.
constexpr size_t FILE_LIMIT = size_t(1) << 20;

// Forgets every file and serves the host table's file calls from memory.
void install();
// Puts a file there (replacing one of that name).
void put(const std::string& name, std::vector<uint8_t> bytes);
// A file's bytes, or null when there is none of that name.
const std::vector<uint8_t>* find(const std::string& name);

}  // namespace memory_host
