// An in-memory host for tests, benchmarks and fuzz targets: the file calls of g_hostOps served
// from files held in memory under their exact names, so nothing reaches the disk. Each file is
// open at most once at a time, and written only through a handle opened for writing; a create
// with HOST_CREATE_NEW is refused where the name is taken, any other truncates; folders
// are names of their own (made, removed, reported as folders); change locks are held names;
// a link is a copy; a file is busy only when said to be; searches list a folder's files and
// folders; the heap stays the system's; the clock of the waits on a held file is its own and
// moves on at each pause without waiting. One change may be planned to fail.
// host_restore_all() (support/host_override.h) puts the real host back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace memory_host {

// Bytes a file may grow to by writing.
constexpr size_t FILE_LIMIT = size_t(1) << 20;

// Forgets every file and serves the host table's file calls from memory.
void install();
// The same, holding these files from the start.
void install(const std::map<std::string, std::vector<uint8_t>>& files);
// Puts a file there (replacing one of that name).
void put(const std::string& name, std::vector<uint8_t> bytes);
// A file's bytes, or null when there is none of that name.
const std::vector<uint8_t>* find(const std::string& name);
// Every file, by name (folders are not files).
const std::map<std::string, std::vector<uint8_t>>& files();
// Makes the file busy, as if a program ran from it, until the next install().
void set_busy(const std::string& name);
// The nth call from now that changes a file or a name (create, write, flush, remove, move,
// replace, truncate, sync, link, make or remove a folder, volume flush, access copy) fails
// without changing anything; 0 plans nothing. Counts start again at every install().
void fail_change(int nth);

}  // namespace memory_host
