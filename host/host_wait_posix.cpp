// POSIX side of the waits on a held file: the monotonic clock and the pause between tries, and
// which error numbers say that a file is held for now.
#include <errno.h>
#include <time.h>

#include "host/host_posix.h"

namespace host_posix {

uint32_t ticks() {
  struct timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

void pause(uint32_t milliseconds) {
  struct timespec left = {time_t(milliseconds / 1000u), long(milliseconds % 1000u) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace host_posix

// Nothing on POSIX refuses a file as infected; a file busy as a running program's text or
// locked by another holder is held.
HostRefusal host_refusal_of(uint32_t systemError) {
  switch (int(systemError)) {
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
      return HostRefusal::Held;
    default:
      return HostRefusal::Other;
  }
}
