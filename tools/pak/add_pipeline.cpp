// The add pipeline on the ordered pipeline: files read through the host layer, packed on the
// workers (which touch only memory), written as members in the order given.
#include "tools/pak/add_pipeline.h"

#include <algorithm>
#include <memory>
#include <new>

#include "tools/pak/buffer_pool.h"
#include "tools/pak/file_ops.h"
#include "tools/pak/masked_codec.h"
#include "tools/pak/member_edit.h"
#include "tools/pak/member_record.h"
#include "tools/pak/member_stream.h"
#include "tools/pak/ordered_pipeline.h"
#include "tools/pak/progress.h"
#include "vfs/file_handle.h"

namespace {

constexpr int32_t kWriteChunk = 1 << 20;
// Input bytes read ahead of the member being written; one file is always let in. With each
// file's record beside it, an add holds at most about twice this (and a 32-bit tool keeps most
// of its 2 GiB of address space), however many cores pack.
constexpr int64_t kReadAheadBudget = int64_t(256) << 20;

struct Job {
  Bytes input;                        // the file's bytes (written as they are when stored)
  std::unique_ptr<uint8_t[]> packed;  // the record, packed into memory nothing else touched
  size_t packedBytes = 0;
  bool ok = false;
};

int32_t file_size(const std::string& path) {
  const HostHandle file = host_open(path.c_str(), HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return -1;
  const int32_t size = host_size(file);
  host_close(file);
  return size;
}

bool add_streamed(int slot, const AddItem& item, int64_t size, const AddSettings& settings,
                  const std::string& archive, ToolIo& io, Progress* progress) {
  const int32_t handle = create_member(slot, item.name);
  if (handle < 0) {
    return fail(io, archive, "cannot add " + item.shown + " (the directory cannot grow)");
  }
  bool readFailed = false;
  const bool ok = stream_file_to_member(item.file, size, settings.stored, settings.level, handle,
                                        progress, &readFailed);
  vfs_close(handle);
  if (ok) return true;
  if (readFailed) return fail(io, item.file, "cannot be read");
  return fail(io, archive,
              "cannot add " + item.shown + " (disk full, or the archive would reach 2 GiB)");
}

}  // namespace

bool read_whole_file(const std::string& path, Bytes* out) {
  const HostHandle file = host_open(path.c_str(), HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return false;
  const int32_t size = host_size(file);
  bool ok = size >= 0;
  if (ok) {
    out->resize(size_t(size));
    ok = size == 0 || host_read(file, out->data(), size) == size;
  }
  host_close(file);
  return ok;
}

bool write_member_bytes(int slot, const std::string& name, const uint8_t* bytes, size_t count) {
  const int32_t handle = create_member(slot, name);
  if (handle < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < count;) {
    const int32_t n = int32_t(std::min<size_t>(count - done, kWriteChunk));
    ok = vfs_write(handle, bytes + done, n) == n;
    done += size_t(n);
  }
  vfs_close(handle);
  return ok;
}

bool write_member_bytes(int slot, const std::string& name, const Bytes& record) {
  return write_member_bytes(slot, name, record.data(), record.size());
}

bool add_items(int slot, const std::vector<AddItem>& items, const AddSettings& settings,
               const std::string& archive, ToolIo& io) {
  // Every file is looked at before the archive changes at all.
  std::vector<int64_t> sizes(items.size());
  int64_t total = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    sizes[i] = file_size(items[i].file);
    if (sizes[i] < 0) return fail(io, items[i].file, "cannot be read");
    total += sizes[i];
  }

  // Files too large to hold are read, packed and written in chunks at their turn.
  std::vector<int64_t> held(items.size());
  for (size_t i = 0; i < items.size(); ++i) held[i] = streams(uint64_t(sizes[i])) ? 0 : sizes[i];

  std::vector<Job> jobs(items.size());
  const unsigned threads = settings.stored ? 0 : worker_threads(items.size(), settings.threads);
  // Each item in flight holds one input buffer.
  BufferPool pool(size_t(threads) + 1);
  Progress progress(io, "adding", total);
  OrderedSteps steps;
  steps.read = [&](size_t i) {
    if (held[i] == 0 && sizes[i] != 0) return true;
    jobs[i].input = pool.take(size_t(sizes[i]));
    return read_whole_file(items[i].file, &jobs[i].input) || fail(io, items[i].file, "cannot be read");
  };
  steps.work = [&](size_t i) {
    Job& job = jobs[i];
    if ((held[i] == 0 && sizes[i] != 0) || settings.stored) {
      job.ok = true;
      return;
    }
    // Packed into memory of the whole bound, of which only the record's bytes get touched.
    const size_t n = job.input.size();
    const Codec codec = choose_codec(n);
    const size_t room = record_room(n, codec);
    if (room != 0) job.packed.reset(new (std::nothrow) uint8_t[room]);
    if (job.packed) {
      advise_large_pages(job.packed.get(), room);
      job.packedBytes =
          pack_record_into(job.input.data(), n, settings.level, codec, job.packed.get(), room);
    }
    job.ok = job.packedBytes != 0;
    pool.give(std::move(job.input));
  };
  steps.write = [&](size_t i) {
    Job& job = jobs[i];
    if (held[i] == 0 && sizes[i] != 0) return add_streamed(slot, items[i], sizes[i], settings, archive, io, &progress);
    if (!job.ok) {
      return fail(io, items[i].file,
                  "cannot be packed (out of memory, or the member would reach 2 GiB)");
    }
    const bool written = settings.stored
                             ? write_member_bytes(slot, items[i].name, job.input)
                             : write_member_bytes(slot, items[i].name, job.packed.get(),
                                                  job.packedBytes);
    pool.give(std::move(job.input));
    job.packed.reset();
    if (!written) {
      return fail(io, archive,
                  "cannot add " + items[i].shown + " (disk full, or the archive would reach 2 GiB)");
    }
    progress.advance(sizes[i]);
    return true;
  };
  return run_ordered(held, threads, kReadAheadBudget, steps);
}
