// Arguments that begin with '/' are paths on every platform, never options: every command run
// with such paths (on Windows: paths from the drive's root; under Wine: Unix paths, which it
// maps to their drive) does what it does with the scratch folder's usual paths.
#include "pak_tool_fixture.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

class SlashPaths : public PakToolTest {
 protected:
  void SetUp() override {
    PakToolTest::SetUp();
#ifdef _WIN32
    // A path from the drive's root names the current drive: make it the scratch folder's.
    char previous[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof previous, previous);
    if (length > 0 && length < sizeof previous) previousFolder_ = previous;
    const std::string& dir = dir_.path();
    if (dir.size() > 1 && dir[1] == ':') {
      ASSERT_TRUE(SetCurrentDirectoryA(dir.substr(0, 2).append("\\").c_str()));
    }
    // Under Wine an argument that begins with '/' is a Unix path: the scratch folder's own.
    using UnixName = char*(CDECL*)(const WCHAR*);
    const auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH] = {};
    if (unix_name != nullptr &&
        MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, wide, MAX_PATH) > 0) {
      if (char* name = unix_name(wide)) {
        unixFolder_ = name;
        HeapFree(GetProcessHeap(), 0, name);
      }
    }
#endif
  }
  void TearDown() override {
#ifdef _WIN32
    if (!previousFolder_.empty()) SetCurrentDirectoryA(previousFolder_.c_str());
#endif
    PakToolTest::TearDown();
  }

  // The scratch folder's path for a name, beginning with '/' and with '/' between its parts.
  std::string rooted(const std::string& name) const {
    std::string path = unixFolder_.empty() ? file(name) : unixFolder_ + "/" + name;
    if (path.size() > 1 && path[1] == ':') path.erase(0, 2);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return path;
  }

  std::string unixFolder_;  // under Wine: the scratch folder as a Unix path
#ifdef _WIN32
  std::string previousFolder_;
#endif
};

TEST_F(SlashPaths, EveryCommandTakesThemAsPaths) {
  const std::string archive = rooted("A.pak");
  ASSERT_EQ(archive[0], '/');
  put("x.txt", std::string(3000, 'x'));
  put("y.txt", "why");
  put("stub.exe", pak_fixture_executable(2000));

  struct Step {
    std::vector<std::string> args;
    std::string out;  // expected standard output; "*" for any
  };
  const Step steps[] = {
      {{"create", archive}, ""},
      {{"add", archive, rooted("x.txt"), rooted("y.txt")}, ""},
      {{"add", archive, rooted("y.txt"), "--as", "z.txt", "--stored"}, ""},
      {{"list", archive}, "*"},
      {{"cat", archive, "y.txt"}, "why"},
      {{"extract", archive, "-C", rooted("out")}, ""},
      {{"rename", archive, "z.txt", "w.txt"}, ""},
      {{"delete", archive, "x.txt"}, ""},
      {{"compact", archive}, "*"},
      {{"verify", archive}, archive + ": 2 members sound\n"},
      {{"info", archive}, "*"},
      {{"build-updater", "--stub", rooted("stub.exe"), "--game-exe", rooted("x.txt"), "--pack",
        archive, "-o", rooted("Up.exe")},
       ""},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::PrintToString(s.args));
    const ToolRun run = pak(s.args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    if (s.out != "*") {
      EXPECT_EQ(run.out, s.out);
    }
  }
  EXPECT_EQ(read_file_bytes(file("out") + TempDir::kSeparator + "x.txt"),
            bytes_of(std::string(3000, 'x')));
  const std::vector<SeenEntry> seen = entries_of(file("A.pak"));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].name, "y.txt");
  EXPECT_EQ(seen[1].name, "w.txt");
  EXPECT_EQ(pak({"verify", file("Up.exe")}).code, 0);
  EXPECT_TRUE(leftovers().empty());
}

}  // namespace
