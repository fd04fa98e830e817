// A game executable of more than 1 GiB through the 32-bit updater: packed by the 32-bit pak
// tool, installed in memory that does not grow with it, with the progress window shown while
// it is written (a standard progress bar, the caption as read, centred) and gone before the
// result. A 64-bit driver has the room the test is about, and skips it.
#include "e2e_fixture.h"
#include "window_picture.h"

#include <commctrl.h>

namespace {

constexpr int64_t kLargeBytes = int64_t(1) << 30 | int64_t(64) << 20;  // 1.0625 GiB
constexpr int32_t kChunk = 1 << 20;
constexpr DWORD kLongWait = 600000;
constexpr wchar_t kUpdating[] = L"更新中，請稍候…";

// Chunk n of the large executable: numbered lines, highly compressible.
std::string chunk(int64_t n) {
  std::string out;
  out.reserve(size_t(kChunk) + 64);
  for (int line = 0; out.size() < size_t(kChunk); ++line) {
    out += "chunk " + std::to_string(n) + " line " + std::to_string(line) + " of the game\r\n";
  }
  out.resize(size_t(kChunk));
  return out;
}

bool write_large(const std::string& path) {
  const HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (int64_t n = 0; ok && n < kLargeBytes / kChunk; ++n) {
    const std::string c = chunk(n);
    DWORD written = 0;
    ok = WriteFile(f, c.data(), DWORD(c.size()), &written, nullptr) && written == c.size();
  }
  return CloseHandle(f) && ok;
}

// Whether the file holds exactly the large executable's bytes.
bool holds_large(const std::string& path) {
  const HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart == kLargeBytes;
  std::string got(size_t(kChunk), '\0');
  for (int64_t n = 0; ok && n < kLargeBytes / kChunk; ++n) {
    DWORD read = 0;
    ok = ReadFile(f, got.data(), DWORD(kChunk), &read, nullptr) && read == DWORD(kChunk) &&
         got == chunk(n);
  }
  CloseHandle(f);
  return ok;
}

int run_pak_long(const std::string& arguments) {
  Program pak;
  DWORD code = 0;
  if (!pak.start(g_pakPath, arguments)) return -1;
  WaitForSingleObject(pak.handle(), kLongWait);
  return pak.wait_end(&code) ? int(code) : -1;
}

std::string quote_path(const std::string& path) { return "\"" + path + "\""; }

// The program's visible window of the class, waited for while it runs; null when none comes.
HWND wait_class(const Program& program, const wchar_t* className, DWORD ms) {
  for (DWORD waited = 0; waited < ms && program.running(); waited += 50) {
    for (HWND w : windows_of(program.id())) {
      wchar_t name[64] = L"";
      GetClassNameW(w, name, 64);
      if (wcscmp(name, className) == 0) return w;
    }
    pause(50);
  }
  return nullptr;
}

// The program's result message, waited for while it runs.
HWND wait_message(const Program& program, DWORD ms) {
  for (DWORD waited = 0; waited < ms && program.running(); waited += 50) {
    for (HWND w : windows_of(program.id())) {
      if (kind_of(w) == WindowKind::Message) return w;
    }
    pause(50);
  }
  return nullptr;
}

HWND child_of_class(HWND parent, const wchar_t* className) {
  return FindWindowExW(parent, nullptr, className, nullptr);
}

using LargeMember = UpdaterE2E;

TEST_F(LargeMember, InstalledByThe32BitUpdaterWithProgress) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "a 64-bit driver: the 2 GiB address space is not at stake";
  const std::string exe = tools_path() + "\\Large.EXE";
  const std::string pack = tools_path() + "\\Update.PAK";
  const std::string large = tools_path() + "\\LargeUpdate.exe";
  ASSERT_TRUE(write_large(exe));
  ASSERT_EQ(run_pak_long("build-updater --stub " + quote_path(g_stubPath) + " --game-exe " +
                         quote_path(exe) + " --pack " + quote_path(pack) + " -o " + quote_path(large)),
            0);
  DeleteFileA(exe.c_str());
  install_game();

  Program updater;
  ASSERT_TRUE(updater.start(large, "", tools_path()));
  HWND dialog = expect_confirmation(updater);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(press(dialog, IDOK));

  HWND progress = wait_class(updater, L"VelmorProgress", kLongWait);
  ASSERT_NE(progress, nullptr) << "no progress window";
  EXPECT_EQ(window_text(progress), kUpdating);
  EXPECT_NE(child_of_class(progress, PROGRESS_CLASSW), nullptr);
  RECT r;
  ASSERT_TRUE(GetWindowRect(progress, &r));
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);
  pause(1500);  // the bar part way along, for the picture
  if (IsWindow(progress)) take_picture(progress, "progress");

  ASSERT_NE(wait_message(updater, kLongWait), nullptr) << "no result message";
  EXPECT_FALSE(IsWindow(progress)) << "the progress window outlived the work";
  EXPECT_EQ(answer_message(updater, nullptr), shown::UPDATED);
  expect_exit_0(updater);
  EXPECT_TRUE(holds_large(game("Velmor.EXE")));
  DeleteFileA(game("Velmor.EXE").c_str());
  DeleteFileA(large.c_str());
}

}  // namespace
