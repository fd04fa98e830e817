// A game that is running is never replaced on Linux either: a process that has the executable
// mapped (as a program run by Wine has) or open, without any handle of this library, makes
// the update fail with the folder unchanged and the process unharmed; a mapping at once, an
// open file (which may be a scanner's) once the patience has passed.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "app/updater.h"
#include "support/virtual_clock.h"
#include "update_fixture.h"

namespace {

// A stand-in for the running game: maps or opens the file, says so on the pipe, and waits
// until the pipe closes. Returns its process id, or -1.
pid_t start_holder(const std::string& path, bool map, int* done) {
  int ready[2], hold[2];
  if (pipe(ready) != 0 || pipe(hold) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    close(hold[1]);
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) std::_Exit(1);
    if (map) {
      if (mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0) == MAP_FAILED) std::_Exit(1);
      close(fd);  // the mapping alone keeps it
    }
    (void)!write(ready[1], "r", 1);
    char c;
    (void)!read(hold[0], &c, 1);
    std::_Exit(0);
  }
  close(ready[1]);
  close(hold[0]);
  char c = 0;
  if (read(ready[0], &c, 1) != 1) c = 0;
  close(ready[0]);
  *done = hold[1];
  return c == 'r' ? pid : -1;
}

TEST_F(UpdateTest, AGameExecutableMappedOrOpenByAnotherProcessIsNotReplaced) {
  for (bool map : {true, false}) {
    SCOPED_TRACE(map ? "mapped" : "open");
    next_case();
    build_updater();
    // Mapped, it is refused at once; open, it counts as running once the patience has passed.
    VirtualClock clock;
    const FolderState before = snapshot(game_.path());
    int done = -1;
    const pid_t holder = start_holder(game("Velmor.EXE"), map, &done);
    ASSERT_GT(holder, 0);
    RunUpdate();
    EXPECT_EQ(updateResult, RESULT_FAILED);
    EXPECT_EQ(clock.now(), map ? 0u : HOST_PATIENCE_MS);
    EXPECT_EQ(snapshot(game_.path()), before);
    EXPECT_EQ(kill(holder, 0), 0) << "the game was harmed";
    close(done);
    int status = 0;
    waitpid(holder, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}

}  // namespace
