// The built pak program run as users run it: --help on every command, exit codes for bad
// usage and failures, UTF-8 file names and arguments stored as Big5, no progress output when
// messages do not go to a terminal, and changes by several processes at once.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "pak_tool_fixture.h"

namespace {

// Text that deflate works at for a while: about a second per 30 MiB.
Bytes slow_to_pack(size_t bytes) {
  Bytes large(bytes);
  uint32_t x = 12345;
  for (uint8_t& b : large) b = uint8_t('a' + ((x = x * 1664525u + 1013904223u) >> 24) % 16);
  return large;
}

class PakBinary : public PakToolTest {
 protected:
  // Starts "pak add ARCHIVE FILE" and returns once its working copy exists, that is while it
  // holds the archive's change lock and packs.
  pid_t start_add(const std::string& archive, const std::string& input) {
    const char* argv[] = {PAK_TOOL_PATH, "add", archive.c_str(), input.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, PAK_TOOL_PATH, nullptr, nullptr, const_cast<char**>(argv),
                    environ) != 0)
      return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (leftovers().empty() && std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(child, &status, WNOHANG) == child) return -1;  // finished too soon
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return child;
  }

  static int exit_code(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> live_names(const std::string& archive) {
    std::vector<std::string> names;
    for (const SeenEntry& e : entries_of(archive)) {
      if (e.offset != 0) names.push_back(e.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs the program from the scratch folder with a shell command line's arguments.
  ToolRun run(const std::string& arguments) {
    const std::string out = file("stdout.txt");
    const std::string err = file("stderr.txt");
    const std::string command = "cd '" + dir_.path() + "' && '" PAK_TOOL_PATH "' " + arguments +
                                " >'" + out + "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    const Bytes o = read_file_bytes(out);
    const Bytes e = read_file_bytes(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(o.begin(), o.end()),
                   std::string(e.begin(), e.end())};
  }
};

TEST_F(PakBinary, HelpOnEveryCommand) {
  const ToolRun top = run("--help");
  EXPECT_EQ(top.code, 0);
  for (const char* command : {"create", "add", "list", "extract", "cat", "delete", "rename",
                              "compact", "verify", "info", "build-updater"}) {
    SCOPED_TRACE(command);
    EXPECT_NE(top.out.find(command), std::string::npos);
    const ToolRun help = run(std::string(command) + " --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find(std::string("pak ") + command), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
  }
}

TEST_F(PakBinary, ExitCodesAndOneLineMessages) {
  struct Case {
    const char* arguments;
    int code;
  };
  const Case cases[] = {
      {"", 2},
      {"frobnicate a.pak", 2},
      {"add a.pak", 2},
      {"create a.pak --letters ABC", 2},
      {"add a.pak x --level 12", 2},
      {"list", 2},
      {"list missing.pak", 1},
      {"cat missing.pak name", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun r = run(c.arguments);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("pak: ", 0), 0u) << r.err;
  }
}

TEST_F(PakBinary, Utf8NamesAreStoredAsBig5) {
  put("更新.txt", std::string(300000, 'u'));  // long enough to take a moment
  ASSERT_EQ(run("create u.pak").code, 0);
  const ToolRun add = run("add u.pak 更新.txt --as '資料\\更新.txt'");
  ASSERT_EQ(add.code, 0) << add.err;
  EXPECT_EQ(add.err, "") << "no progress output when stderr is not a terminal";
  const std::vector<SeenEntry> seen = entries_of(file("u.pak"));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].name, "\xB8\xEA\xAE\xC6\\\xA7\xF3\xB7\x73.txt");

  EXPECT_NE(run("list u.pak").out.find("\n資料\\更新.txt"), std::string::npos);
  ASSERT_EQ(run("extract u.pak -C out").code, 0);
  EXPECT_EQ(read_file_bytes(file("out/資料/更新.txt")), bytes_of(std::string(300000, 'u')));
  const ToolRun cat = run("cat u.pak '資料\\更新.txt'");
  EXPECT_EQ(cat.out.size(), 300000u);
}

TEST_F(PakBinary, UpdaterKeepsTheStubsPermissions) {
  put("stub", pak_fixture_executable(4000));
  put("game", "game bytes");
  put("pack.pak", pak_fixture_bytes(FixtureArchive{}));
  ASSERT_EQ(chmod(file("stub").c_str(), 0751), 0);
  const ToolRun r = run("build-updater --stub stub --game-exe game --pack pack.pak -o Up.exe");
  ASSERT_EQ(r.code, 0) << r.err;
  struct stat st;
  ASSERT_EQ(stat(file("Up.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0751u);
}

TEST_F(PakBinary, ChangesKeepTheArchivesPermissions) {
  put("a.txt", "a");
  ASSERT_EQ(run("create p.pak").code, 0);
  ASSERT_EQ(chmod(file("p.pak").c_str(), 0640), 0);
  ASSERT_EQ(run("add p.pak a.txt").code, 0);
  struct stat st;
  ASSERT_EQ(stat(file("p.pak").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(PakBinary, InterruptedChangeLeavesTheArchiveAndNoCopy) {
  ASSERT_EQ(run("create t.pak").code, 0);
  const Bytes before = read_file_bytes(file("t.pak"));
  put("large.bin", slow_to_pack(size_t(96) << 20));

  const std::string archive = file("t.pak");
  const std::string input = file("large.bin");
  const char* argv[] = {PAK_TOOL_PATH, "add", archive.c_str(), input.c_str(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, PAK_TOOL_PATH, nullptr, nullptr, const_cast<char**>(argv),
                        environ),
            0);
  // Stopped once its working copy exists, while it packs.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (leftovers().empty() && std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) FAIL() << "finished before it was stopped";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(leftovers().empty());
  kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(read_file_bytes(archive), before);
  EXPECT_TRUE(leftovers().empty()) << testing::PrintToString(leftovers());
  EXPECT_FALSE(exists_on_disk(archive + ".lock")) << "the change lock goes with the copy";
}

TEST_F(PakBinary, ChangeDuringAnotherIsRefusedAndNothingIsLost) {
  ASSERT_EQ(run("create A.pak").code, 0);
  put("big.bin", slow_to_pack(size_t(40) << 20));
  put("small.txt", "small");
  const pid_t big = start_add(file("A.pak"), file("big.bin"));
  ASSERT_GT(big, 0);
  const ToolRun small = run("add A.pak small.txt");
  EXPECT_EQ(small.code, 1);
  EXPECT_EQ(small.err, "pak: A.pak: in use by another change\n");
  EXPECT_EQ(exit_code(big), 0);
  EXPECT_EQ(live_names(file("A.pak")), std::vector<std::string>{"big.bin"});

  // Tried again once the first change is done, it lands beside the first.
  ASSERT_EQ(run("add A.pak small.txt").code, 0);
  EXPECT_EQ(live_names(file("A.pak")), (std::vector<std::string>{"big.bin", "small.txt"}));
  EXPECT_FALSE(exists_on_disk(file("A.pak.lock")));
}

TEST_F(PakBinary, ChangesStartedTogetherReportOnlyWhatLasted) {
  ASSERT_EQ(run("create A.pak").code, 0);
  constexpr int kChanges = 8;
  std::string script = "cd '" + dir_.path() + "' && for i in";
  for (int i = 0; i < kChanges; ++i) {
    put("f" + std::to_string(i) + ".txt", std::string(size_t(20000 * (i + 1)), char('a' + i)));
    script += " " + std::to_string(i);
  }
  script += "; do ('" PAK_TOOL_PATH "' add A.pak f$i.txt 2>err$i; echo $? >code$i) & done; wait";
  ASSERT_EQ(std::system(script.c_str()), 0);

  const std::vector<std::string> names = live_names(file("A.pak"));
  int succeeded = 0;
  for (int i = 0; i < kChanges; ++i) {
    const std::string n = std::to_string(i);
    SCOPED_TRACE(n);
    const Bytes code = read_file_bytes(file("code" + n));
    const Bytes err = read_file_bytes(file("err" + n));
    const bool kept = std::count(names.begin(), names.end(), "f" + n + ".txt") == 1;
    if (std::string(code.begin(), code.end()) == "0\n") {
      ++succeeded;
      EXPECT_TRUE(kept) << "reported success, yet its member is gone";
    } else {
      EXPECT_FALSE(kept);
      EXPECT_EQ(std::string(err.begin(), err.end()), "pak: A.pak: in use by another change\n");
    }
  }
  EXPECT_GE(succeeded, 1);
  EXPECT_EQ(int(names.size()), succeeded);
  EXPECT_TRUE(leftovers().empty());
  EXPECT_FALSE(exists_on_disk(file("A.pak.lock")));
}

TEST_F(PakBinary, ArchiveReadByAnotherProcessIsNotReplaced) {
  put("a.txt", "a");
  ASSERT_EQ(run("create A.pak").code, 0);
  const Bytes before = read_file_bytes(file("A.pak"));
  const HostHandle reader = host_open(file("A.pak").c_str(), HOST_MODE_READ);
  ASSERT_NE(reader, HOST_INVALID_HANDLE);
  const ToolRun r = run("add A.pak a.txt");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "pak: A.pak: in use: another program has it open, so it is left as it was\n");
  EXPECT_EQ(read_file_bytes(file("A.pak")), before);
  EXPECT_TRUE(leftovers().empty());
  host_close(reader);
  EXPECT_EQ(run("add A.pak a.txt").code, 0);
}

}  // namespace
