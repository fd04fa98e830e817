// Power cuts, modelled in one place: from a recording of the disk changes a piece of work made
// (support/recording_host.h), the states the disk may hold if the power went after any number
// of them, on the two file systems the updater meets: ext4 mounted data=ordered (Linux, the
// game installed under Wine) and NTFS (Windows). Where the two differ, the model takes the
// weaker guarantee, so it tries every state either may leave. The rules, and where each comes
// from:
//
// 1. File data reaches the disk when the file is flushed (host_flush, host_sync: fsync,
//    FlushFileBuffers); closing a file does not flush it. ext4 journals only metadata by
//    default, "file data blocks are not guaranteed to be in any consistent state after a
//    crash" (Linux, Documentation/filesystems/ext4/journal.rst), and delayed allocation writes
//    them back whenever it likes; on NTFS the cache's lazy writer does the same, and only a
//    flush (NtFlushBuffersFileEx: "file data and metadata in the file cache will be written")
//    or a write-through handle puts them on disk (Microsoft, Win32 and driver documentation).
// 2. Of what was written since a file's last flush, each block of RULES.block bytes arrives
//    on its own: it holds what it held at that flush, or what it held after any later write
//    that touched it (the cache writes a page back at any moment, and again later). Writes
//    that span blocks are therefore not atomic: "All File Systems Are Not Created Equal"
//    (Pillai et al., OSDI 2014) found multi-block appends and overwrites torn on ext4, as on
//    every file system it studied. 4096 is the page of the cache and both file systems'
//    usual cluster; a stricter model takes 512, the sector a disk writes whole.
// 3. Its length is its length at the last flush or any length it had since (length is
//    metadata, journalled apart from the data); bytes past the flushed length that no block
//    brought read as zeros. NTFS keeps a valid data length and reads zeros past it; ext4
//    data=ordered never shows another file's old blocks, so zeros are the worst it shows.
// 4. A file made since is empty at its last flush: its name may be on disk with none of its
//    bytes (the zero-length file that a rename before a flush leaves on ext4).
// 5. A folder's name changes (create, rename, replace, link, remove) reach the disk in the
//    order they were made: ext4's journal commits its transactions in order, and the NTFS log
//    file records metadata changes in order and is replayed up to its last committed one.
//    Those made since the folder's last flush may be lost, the later ones first.
// 6. A folder is flushed by a replace (host_replace): the POSIX backend syncs the folder after
//    the rename (fsync of the folder), the Win32 one moves with MOVEFILE_WRITE_THROUGH, which
//    "does not return until the file is actually moved on the disk", and NTFS's log is
//    written in order up to that move. host_sync_folder syncs the folder on POSIX but does
//    nothing on Windows (NTFS has no flush of a folder's names), so it is not counted here.
//    A file's flush never counts for its name: "Finding Crash-Consistency Bugs with Bounded
//    Black-Box Crash Testing" (Mohan et al., OSDI 2018) found bugs of exactly that
//    assumption, a file fsynced but its folder not.
// 7. Not modelled: attributes and permission bits (the in-memory host keeps none), folders
//    as names, and the change locks (held names there, no files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/recording_host.h"

namespace crash_model {

using Bytes = std::vector<uint8_t>;
// A disk state: every file by name.
using Disk = std::map<std::string, Bytes>;

// The rules' knobs, each the one change a stricter (or looser) model makes.
struct Rules {
  size_t block;               // rule 2
  bool replaceFlushesFolder;  // rule 6
  bool folderSyncFlushes;     // rule 6: host_sync_folder (true only for ext4 alone)
};
constexpr Rules RULES = {4096, true, false};

// How many states one cut of the recording may have before they are sampled (a fixed seed,
// so every run tries the same ones). VELMOR_CRASH_EXHAUSTIVE=1 lifts the limit up to
// EXHAUSTIVE_CEILING states a cut.
struct Budget {
  size_t perCut;
  bool exhaustive;
};
constexpr size_t EXHAUSTIVE_CEILING = size_t(1) << 22;
Budget budget_from_environment(size_t perCut);

struct Tally {
  size_t cuts = 0;         // points of the recording the power went at (before any change too)
  size_t states = 0;       // distinct disk states checked
  size_t sampledCuts = 0;  // cuts with more states than the budget, sampled
};

// Calls check once for every distinct state the disk may hold after a power cut at any point
// of the recorded changes, the disk having held before when the recording began; with the
// state, the number of changes made before the cut that first gave it.
using Check = std::function<void(const Disk& state, size_t cut)>;
Tally explore(const Disk& before, const std::vector<recording_host::Change>& changes,
              const Budget& budget, const Check& check);

// The line a test prints for a workload: how many cuts and states, and whether sampled.
std::string report(const std::string& workload, const Tally& tally, const Budget& budget);

}  // namespace crash_model
