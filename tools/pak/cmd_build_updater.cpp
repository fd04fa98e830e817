// pak build-updater: a copy of the updater stub carrying an archive under '#' with the game
// executable and update pack as packed records named "#:\Velmor.EXE" and "#:\Update.PAK", the
// names the updater looks up with the mount prefix kept, padded to a length that is a multiple
// of 8 so that signing it adds no padding. Written beside OUT, then renamed.
#include "archive/pak_build.h"
#include "tools/pak/add_pipeline.h"
#include "tools/pak/archive_change.h"
#include "tools/pak/archive_reader.h"
#include "tools/pak/delta_build.h"
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

// Signing tools start the certificate table at a multiple of 8. Zero bytes after the payload's
// directory, where readers ignore them, bring the updater's length there, so the locator stays
// the last four bytes of the unsigned updater and comes right before the table once signed.
bool pad_payload(const std::string& payload, int64_t stubSize, ToolIo& io) {
  const HostHandle file = host_open(payload.c_str(), HOST_MODE_READWRITE);
  const int64_t size = file != HOST_INVALID_HANDLE ? host_size(file) : -1;
  static const uint8_t zeros[7] = {};
  const int32_t padding = int32_t((8 - (stubSize + size + int64_t(PAK_LOCATOR_SIZE)) % 8) % 8);
  bool ok = size >= 0 && host_seek(file, int32_t(size), HOST_SEEK_BEGIN) == size &&
            host_write(file, zeros, padding) == padding;
  ok = host_close(file) == 0 && ok;
  return ok || fail(io, payload, "cannot be written (disk full?)");
}

// The stub's length; a stub that is already signed is refused, since its signature would end
// up in the middle of the updater, where it no longer counts and the payload cannot be found.
int64_t unsigned_stub_size(const std::string& stub, ToolIo& io) {
  const HostHandle h = host_open(stub.c_str(), HOST_MODE_READ);
  const int64_t size = h != HOST_INVALID_HANDLE ? host_size(h) : -1;
  PakCertificates signature{};
  const PakRefusal why =
      size >= 0 ? pak_find_certificates(h, size, &signature) : PakRefusal::Unreadable;
  host_close(h);
  if (why != PakRefusal::None) {
    report(io, stub, pak_refusal_text(why));
    return -1;
  }
  if (signature.size != 0) {
    report(io, stub, "is signed: build the updater from the unsigned stub, then sign the updater");
    return -1;
  }
  return size;
}

bool add_delta_members(int slot, const std::vector<DeltaMember>& members, const std::string& out, ToolIo& io) {
  for (const DeltaMember& m : members) {
    if (!write_member_bytes(slot, m.name, m.bytes)) return fail(io, out, "cannot be written (disk full?)");
  }
  return true;
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
  const int64_t stubSize = unsigned_stub_size(options.stub, io);
  if (stubSize < 0) return PAK_EXIT_FAILED;
  const HostHandle game = host_open(options.gameExe.c_str(), HOST_MODE_READ);
  if (game == HOST_INVALID_HANDLE) return report(io, options.gameExe, "cannot be read");
  host_close(game);

  // With bases: the deltas and the manifest, and the whole files only where they are carried.
  DeltaBuild deltas;
  deltas.whole = {{options.gameExe, kGameMember, kGameMember}, {options.pack, kPackMember, kPackMember}};
  if (!options.bases.empty()) {
    deltas.whole.clear();
    const DeltaBuildInput input{options.gameExe, options.pack, options.bases, options.withFull};
    if (!build_deltas(input, &deltas, io)) return PAK_EXIT_FAILED;
    io.out << deltas.summary;
  } else if (options.withFull) {
    return usage(io, "--with-full goes with --base");
  }
  ArchiveChange payload;
  SideFile updater;
  const bool built = payload.begin_new(out, kLetter, kLetter, 0, true, io) &&
                     (deltas.whole.empty() || add_items(payload.slot(), deltas.whole, AddSettings{}, out, io)) &&
                     add_delta_members(payload.slot(), deltas.members, out, io) &&
                     payload.finish(io) && pad_payload(payload.copy_path(), stubSize, io) &&
                     updater.pick(out, io) &&
                     copy_stub(options.stub, updater.path(), io);
  if (!built) return PAK_EXIT_FAILED;
  if (pak_append_to_executable(updater.path().c_str(), payload.copy_path().c_str()) != 0) {
    return report(io, out, "cannot append the archive to the stub's copy (disk full?)");
  }
  return updater.place(out, io) ? PAK_EXIT_OK : PAK_EXIT_FAILED;
}
