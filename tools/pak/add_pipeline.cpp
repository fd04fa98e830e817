// The add pipeline on the ordered pipeline: files read through the host layer, packed on the
// workers (which touch only memory), written as members in the order given.
#include "tools/pak/add_pipeline.h"

#include <algorithm>

#include "tools/pak/member_edit.h"
#include "tools/pak/member_record.h"
#include "tools/pak/member_stream.h"
#include "tools/pak/ordered_pipeline.h"
#include "tools/pak/progress.h"
#include "vfs/file_handle.h"

namespace {

constexpr int32_t kWriteChunk = 1 << 20;
// Input bytes read ahead of the member being written; one file is always let in.
constexpr int64_t kReadAheadBudget = int64_t(768) << 20;

struct Job {
  Bytes input;
  Bytes record;
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

bool write_member_bytes(int slot, const std::string& name, const Bytes& record) {
  const int32_t handle = create_member(slot, name);
  if (handle < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < record.size();) {
    const int32_t n = int32_t(std::min<size_t>(record.size() - done, kWriteChunk));
    ok = vfs_write(handle, record.data() + done, n) == n;
    done += size_t(n);
  }
  vfs_close(handle);
  return ok;
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
  Progress progress(io, "adding", total);
  OrderedSteps steps;
  steps.read = [&](size_t i) {
    if (held[i] == 0 && sizes[i] != 0) return true;
    return read_whole_file(items[i].file, &jobs[i].input) || fail(io, items[i].file, "cannot be read");
  };
  steps.work = [&](size_t i) {
    Job& job = jobs[i];
    if (held[i] == 0 && sizes[i] != 0) return;
    if (settings.stored) {
      job.record = std::move(job.input);
      job.ok = true;
    } else {
      job.ok = pack_record(job.input.data(), job.input.size(), settings.level, &job.record);
    }
    job.input = Bytes();
  };
  steps.write = [&](size_t i) {
    Job& job = jobs[i];
    if (held[i] == 0 && sizes[i] != 0) return add_streamed(slot, items[i], sizes[i], settings, archive, io, &progress);
    if (!job.ok) {
      return fail(io, items[i].file,
                  "cannot be packed (out of memory, or the member would reach 2 GiB)");
    }
    if (!write_member_bytes(slot, items[i].name, job.record)) {
      return fail(io, archive,
                  "cannot add " + items[i].shown + " (disk full, or the archive would reach 2 GiB)");
    }
    job.record = Bytes();
    progress.advance(sizes[i]);
    return true;
  };
  const unsigned threads = settings.stored ? 0 : worker_threads(items.size(), settings.threads);
  return run_ordered(held, threads, kReadAheadBudget, steps);
}
