// pak build-updater: a copy of the updater stub carrying an archive under '#' with the game
// executable and update pack as packed records named "#:\Velmor.EXE" and "#:\Update.PAK", the
// names the updater looks up with the mount prefix kept. Written beside OUT, then renamed.
#include "archive/pak_build.h"
#include "tools/pak/add_pipeline.h"
#include "tools/pak/archive_change.h"
#include "tools/pak/archive_reader.h"
#include "tools/pak/file_ops.h"
#include "tools/pak/pak_commands.h"
#include "tools/pak/progress.h"

namespace {

constexpr char kLetter = '#';
const char kGameMember[] = "#:\\Velmor.EXE";
const char kPackMember[] = "#:\\Update.PAK";

// A copy of the stub at path, with the stub's permission bits.
bool copy_stub(const std::string& stub, const std::string& path, ToolIo& io) {
  const HostHandle from = host_open(stub.c_str(), HOST_MODE_READ);
  if (from == HOST_INVALID_HANDLE) return fail(io, stub, "cannot be read");
  const HostHandle to = host_create(path.c_str(), 0);
  const int32_t size = host_size(from);
  bool ok = to != HOST_INVALID_HANDLE && size >= 0;
  if (ok) {
    Progress progress(io, "copying the stub", size);
    ok = copy_host_bytes(from, to, size, &progress);
  }
  ok = host_close(to) == 0 && ok;
  host_close(from);
  return (ok && copy_permissions(stub, path)) || fail(io, path, "cannot be written (disk full?)");
}

}  // namespace

int run_build_updater(const BuildUpdaterOptions& options, ToolIo& io) {
  const std::string& out = options.out;
  if (!pak_path_is_executable(out.c_str())) {
    warn(io, out, "the updater finds its archive only when its file name ends in \".exe\"");
  }
  {
    // The pack is installed as the game's update pack, which the updater opens as an archive.
    ArchiveReader pack;
    if (!pack.open(options.pack, io)) return PAK_EXIT_FAILED;
  }
  for (const std::string* file : {&options.stub, &options.gameExe}) {
    const HostHandle h = host_open(file->c_str(), HOST_MODE_READ);
    if (h == HOST_INVALID_HANDLE) return report(io, *file, "cannot be read");
    host_close(h);
  }

  ArchiveChange payload;
  SideFile updater;
  const std::vector<AddItem> items = {{options.gameExe, kGameMember, kGameMember},
                                      {options.pack, kPackMember, kPackMember}};
  const bool built = payload.begin_new(out, kLetter, kLetter, 0, true, io) &&
                     add_items(payload.slot(), items, AddSettings{}, out, io) &&
                     payload.finish(io) && updater.pick(out, io) &&
                     copy_stub(options.stub, updater.path(), io);
  if (!built) return PAK_EXIT_FAILED;
  if (pak_append_to_executable(updater.path().c_str(), payload.copy_path().c_str()) != 0) {
    return report(io, out, "cannot append the archive to the stub's copy (disk full?)");
  }
  return updater.place(out, io) ? PAK_EXIT_OK : PAK_EXIT_FAILED;
}
