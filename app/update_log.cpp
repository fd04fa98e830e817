// The support log: a file written through the host layer, trimmed to its newer half when it
// has grown past its cap, each line written and flushed as it happens (it must outlive the
// failure it tells of).
#include "app/update_log.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

#include "host/host.h"

namespace {

HostHandle g_log = HOST_INVALID_HANDLE;
char g_logPath[HOST_PATH_ROOM] = "";

// Keeps the newer half of a log that grew past its cap: read, then written back whole.
void trim(const char* path) {
  const HostHandle in = host_open(path, HOST_MODE_READ);
  if (in == HOST_INVALID_HANDLE) return;
  const int32_t size = host_size(in);
  if (size <= UPDATE_LOG_CAP) {
    host_close(in);
    return;
  }
  const int32_t keep = int32_t(UPDATE_LOG_CAP / 2);
  auto* bytes = static_cast<char*>(mem_alloc(size_t(keep)));
  const bool read = bytes != nullptr && host_seek(in, size - keep, HOST_SEEK_BEGIN) == size - keep &&
                    host_read(in, bytes, keep) == keep;
  host_close(in);
  if (read) {
    // From the first whole line on.
    const char* start = static_cast<const char*>(memchr(bytes, '\n', size_t(keep)));
    const int32_t from = start != nullptr ? int32_t(start - bytes) + 1 : 0;
    const HostHandle out = host_recreate(path, 0);
    if (out != HOST_INVALID_HANDLE) {
      host_write(out, bytes + from, keep - from);
      host_close(out);
    }
  }
  mem_free(bytes);
}

// A path as the system names it, in UTF-8: on Windows the 8-bit path converted from the ANSI
// code page, on POSIX the file the path maps to (Wine's drive folders resolved). Text that will
// not convert is written as it is.
void to_utf8(const char* text, char* out, size_t room) {
#ifdef _WIN32
  wchar_t wide[HOST_PATH_ROOM * 2];
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, HOST_PATH_ROOM * 2) > 0 &&
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, int(room), nullptr, nullptr) > 0)
    return;
#else
  if (host_system_path(text, out, room) != 0) return;
#endif
  std::snprintf(out, room, "%s", text);
}

void write_line(const char* line) {
  if (g_log == HOST_INVALID_HANDLE) return;
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
  host_write(g_log, stamp, int32_t(std::strlen(stamp)));
  host_write(g_log, line, int32_t(std::strlen(line)));
  host_write(g_log, "\n", 1);
  host_flush(g_log);
}

}  // namespace

int UpdateLogOpen(const char* path) {
  UpdateLogClose();
  char chosen[HOST_PATH_ROOM];
  if (path != nullptr && path[0] != '\0') {
    std::snprintf(chosen, sizeof chosen, "%s", path);
  } else {
#ifdef _WIN32
    const char* name = UPDATE_LOG_NAME_WINDOWS;
#else
    const char* name = UPDATE_LOG_NAME_POSIX;
#endif
    const size_t length = host_log_dir(chosen, sizeof chosen);
    if (length == 0 || length + std::strlen(name) + 1 > sizeof chosen) return -1;
    std::memcpy(chosen + length, name, std::strlen(name) + 1);
  }
  trim(chosen);
  HostHandle log = host_open(chosen, HOST_MODE_READWRITE);
  if (log == HOST_INVALID_HANDLE) log = host_create(chosen, 0);
  if (log == HOST_INVALID_HANDLE) return -1;
  if (host_seek(log, 0, HOST_SEEK_END) < 0) {
    host_close(log);
    return -1;
  }
  g_log = log;
  std::memcpy(g_logPath, chosen, sizeof chosen);
  return 0;
}

void UpdateLogClose() {
  if (g_log != HOST_INVALID_HANDLE) host_close(g_log);
  g_log = HOST_INVALID_HANDLE;
  g_logPath[0] = '\0';
}

const char* UpdateLogPath() { return g_logPath; }

void UpdateLogStep(const char* step, const char* path) {
  if (g_log == HOST_INVALID_HANDLE) return;
  char shown[HOST_PATH_ROOM * 3] = "";
  if (path != nullptr) to_utf8(path, shown, sizeof shown);
  // Room for a step that names several hashes (a delta update's bases) and then the path.
  char line[HOST_PATH_ROOM * 3 + 4096];
  std::snprintf(line, sizeof line, "%s%s%s", step, path != nullptr ? ": " : "", shown);
  write_line(line);
}

void UpdateLogFailure(const char* step, const char* path) {
  if (g_log == HOST_INVALID_HANDLE) return;
  const int error = host_last_error();
  char text[256];
  if (host_error_text(error, text, sizeof text) == 0) text[0] = '\0';
  char shown[HOST_PATH_ROOM * 3] = "";
  if (path != nullptr) to_utf8(path, shown, sizeof shown);
  // What kind of refusal it was, where the error says: the system's protection (a file reported
  // as infected) is never waited on; a hold or an access denial was waited on to the end (a
  // protected folder refuses writes with access denied too).
  const HostRefusal refusal = error != 0 ? host_refusal_of(uint32_t(error)) : HostRefusal::Other;
  const char* kind = refusal == HostRefusal::Protection
                         ? "; blocked by the system's protection"
                     : refusal == HostRefusal::Held
                         ? "; held or refused throughout the wait (another program, or a "
                           "protected folder)"
                         : "";
  char line[HOST_PATH_ROOM * 4 + 400];
  std::snprintf(line, sizeof line, "FAILED %s%s%s (system error %d: %s%s)", step,
                path != nullptr ? ": " : "", shown, error, text, kind);
  write_line(line);
}

void UpdateLogEnd(uint32_t result, int exitCode) {
  char line[96];
  std::snprintf(line, sizeof line, "end: result 0x%x, exit code %d", unsigned(result), exitCode);
  write_line(line);
}
