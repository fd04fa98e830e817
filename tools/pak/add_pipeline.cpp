// The add pipeline: the calling thread reads files (through the host layer) and writes members
// in order, while worker threads pack the files read ahead of the one being written. Workers
// touch only memory, so host calls stay on one thread.
#include "tools/pak/add_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "tools/pak/member_edit.h"
#include "tools/pak/member_record.h"
#include "tools/pak/progress.h"
#include "vfs/file_handle.h"

namespace {

constexpr int32_t kWriteChunk = 1 << 20;
// Input bytes read ahead of the member being written; one file is always let in.
constexpr int64_t kReadAheadBudget = int64_t(768) << 20;

struct Job {
  Bytes input;
  Bytes record;
  bool done = false;
  bool ok = false;
};

// Packs the input of one job into its record (or takes the input as it is).
void pack(Job& job, const AddSettings& settings) {
  if (settings.stored) {
    job.record = std::move(job.input);
    job.ok = true;
  } else {
    job.ok = pack_record(job.input.data(), job.input.size(), settings.level, &job.record);
  }
  job.input = Bytes();
}

// Worker threads that pack the jobs handed to them, in the order handed over.
class PackWorkers {
 public:
  PackWorkers(std::vector<Job>& jobs, const AddSettings& settings, unsigned count)
      : jobs_(jobs), settings_(settings) {
    for (unsigned i = 0; i < count; ++i) threads_.emplace_back([this] { run(); });
  }
  ~PackWorkers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  PackWorkers(const PackWorkers&) = delete;
  PackWorkers& operator=(const PackWorkers&) = delete;

  void hand_over(size_t index) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(index);
    }
    work_.notify_one();
  }
  void wait_for(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return jobs_[index].done; });
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      const size_t index = queue_.front();
      queue_.pop_front();
      lock.unlock();
      pack(jobs_[index], settings_);
      lock.lock();
      jobs_[index].done = true;
      done_.notify_all();
    }
  }

  std::vector<Job>& jobs_;
  const AddSettings& settings_;
  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<size_t> queue_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

int32_t file_size(const std::string& path) {
  const HostHandle file = host_open(path.c_str(), HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return -1;
  const int32_t size = host_size(file);
  host_close(file);
  return size;
}

bool read_file(const std::string& path, Bytes* out) {
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

bool write_member(int slot, const std::string& name, const Bytes& record) {
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

}  // namespace

bool add_items(int slot, const std::vector<AddItem>& items, const AddSettings& settings,
               const std::string& archive, ToolIo& io) {
  const size_t n = items.size();
  // Every file is looked at before the archive changes at all.
  std::vector<int64_t> sizes(n);
  int64_t total = 0;
  for (size_t i = 0; i < n; ++i) {
    sizes[i] = file_size(items[i].file);
    if (sizes[i] < 0) return fail(io, items[i].file, "cannot be read");
    total += sizes[i];
  }

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads = settings.threads != 0 ? settings.threads : cores;
  const unsigned workerCount =
      settings.stored || n < 2 ? 0 : unsigned(std::min<size_t>(threads, n));
  std::vector<Job> jobs(n);
  std::unique_ptr<PackWorkers> workers;
  if (workerCount > 0) workers = std::make_unique<PackWorkers>(jobs, settings, workerCount);

  Progress progress(io, "adding", total);
  size_t nextRead = 0;
  int64_t readAhead = 0;
  for (size_t w = 0; w < n; ++w) {
    while (nextRead < n &&
           (nextRead == w || (nextRead - w <= workerCount &&
                              readAhead + sizes[nextRead] <= kReadAheadBudget))) {
      if (!read_file(items[nextRead].file, &jobs[nextRead].input)) {
        return fail(io, items[nextRead].file, "cannot be read");
      }
      readAhead += sizes[nextRead];
      if (workers) workers->hand_over(nextRead);
      ++nextRead;
    }
    Job& job = jobs[w];
    if (workers) {
      workers->wait_for(w);
    } else {
      pack(job, settings);
    }
    if (!job.ok) {
      return fail(io, items[w].file,
                    "cannot be packed (out of memory, or the member would reach 2 GiB)");
    }
    if (!write_member(slot, items[w].name, job.record)) {
      return fail(io, archive,
                    "cannot add " + items[w].shown +
                        " (disk full, or the archive would reach 2 GiB)");
    }
    job.record = Bytes();
    readAhead -= sizes[w];
    progress.advance(sizes[w]);
  }
  return true;
}
