// Process steps that the host layer has no call for, kept per platform (file_ops_posix.cpp,
// file_ops_win32.cpp): carrying permission bits over, removing temporary files when the
// process is interrupted, and facts about the standard streams. Paths are host paths, mapped
// as the host layer maps them. (Replacing, cutting and syncing files are host calls.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Gives to the permission bits of from (POSIX: the executable bits matter; Windows: nothing).
bool copy_permissions(const std::string& from, const std::string& to);

// Temporary files named here are removed if the process is interrupted (Ctrl-C, SIGTERM)
// before they are forgotten again. At most a few at a time.
void watch_temp_file(const std::string& path);
void forget_temp_file(const std::string& path);

// The tool's file arguments and the files it makes are UTF-8 paths, used as they are: on POSIX
// the host layer takes this process's 8-bit paths as UTF-8 (code page 65001), as the manifest
// makes UTF-8 the ANSI code page on Windows.
void use_utf8_paths();

// Asks the system to back a large buffer, not yet touched, with large pages (Linux: a page
// fault per 2 MiB instead of per 4 KiB). Only advice: nothing changes where it is not taken.
void advise_large_pages(void* start, size_t bytes);

bool stderr_is_terminal();
// Standard output carries member bytes unchanged (no newline translation).
void set_binary_stdout();
