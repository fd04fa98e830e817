// The support log, written only when asked for ("/LOG"): UTF-8 text appended to a file outside
// the game folder, one line per step with the time, the step, the path it acted on and, for a
// failure, the system's error number and text; the last line gives the result and exit code.
// Past 1 MiB the older half is dropped when the log is opened. Every call is a no-op while no
// log is open.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int64_t UPDATE_LOG_CAP = 1 << 20;
constexpr char UPDATE_LOG_NAME_WINDOWS[] = "VelmorUpdate.log";
constexpr char UPDATE_LOG_NAME_POSIX[] = "update.log";

// Opens the log at path, or at the default place for an empty path. 0, or -1 when it could not
// be opened (the run goes on without it).
int UpdateLogOpen(const char* path);
void UpdateLogClose();
// The path of the open log ("" when none).
const char* UpdateLogPath();
// A step done; path may be null. Paths are 8-bit text in the code page and are written as UTF-8.
void UpdateLogStep(const char* step, const char* path);
// A step that failed: with the system error the host layer kept from the failed call.
void UpdateLogFailure(const char* step, const char* path);
// The last line: the result word and the exit code.
void UpdateLogEnd(uint32_t result, int exitCode);
