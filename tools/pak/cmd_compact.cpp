// pak compact: the archive rewritten without its deleted entries into a file beside it, with
// progress, then renamed over it; the previous archive stays whole until that rename, and its
// change lock is held from the first read to the rename.
#include "archive/pak_build.h"
#include "tools/pak/archive_change.h"
#include "tools/pak/archive_reader.h"
#include "tools/pak/change_lock.h"
#include "tools/pak/pak_commands.h"
#include "tools/pak/progress.h"

int run_compact(const std::string& archive, ToolIo& io) {
  ChangeLock lock;  // given up last
  ArchiveReader reader;
  SideFile side;
  if (!may_change(archive, io) || !lock.take(archive, io) || !reader.open(archive, io) ||
      !side.pick(archive, io)) {
    return PAK_EXIT_FAILED;
  }
  const int64_t before = reader.archive_bytes();
  PakCompaction compaction;
  if (pak_compact_begin(&compaction, reader.slot(), side.path().c_str()) != 0) {
    return report(io, archive,
                  "cannot be compacted: an entry lies outside the file, or no copy can be made "
                  "beside it");
  }
  int step = 1;
  {
    Progress progress(io, "compacting", compaction.bytesTotal);
    for (int64_t shown = 0; (step = pak_compact_step(&compaction)) == 1;) {
      progress.advance(compaction.bytesDone - shown);
      shown = compaction.bytesDone;
    }
  }
  if (step < 0 || pak_compact_finish(&compaction) != 0) {
    return report(io, archive, "cannot write its compacted copy (disk full?)");
  }
  reader.close();
  const HostHandle copy = host_open(side.path().c_str(), HOST_MODE_READ);
  const int64_t after = copy != HOST_INVALID_HANDLE ? host_size(copy) : -1;
  host_close(copy);
  if (after < 0 || !archive_reads_back(side.path())) {
    return report(io, archive, "the compacted copy does not read back");
  }
  if (!side.place(archive, io)) return PAK_EXIT_FAILED;
  const int64_t reclaimed = before - after;
  io.out << archive << ": " << reclaimed << " bytes reclaimed\n";
  return PAK_EXIT_OK;
}
