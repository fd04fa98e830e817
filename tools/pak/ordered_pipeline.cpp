// The ordered pipeline: a small pool of workers fed in item order, the calling thread reading
// ahead within its budget and writing each item as soon as its work is done. Small items go to
// the workers in runs, never one by one.
#include "tools/pak/ordered_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Items handed to a worker together: one item of its own, or a run of consecutive small ones.
struct Unit {
  size_t first = 0;
  size_t end = 0;
  int64_t bytes = 0;
};

// Worker threads that run the work of the units handed to them, in the order handed over.
class Workers {
 public:
  Workers(const std::vector<Unit>& units, unsigned count, const std::function<void(size_t)>& work)
      : units_(units), work_(work), done_(units.size(), false) {
    for (unsigned i = 0; i < count; ++i) threads_.emplace_back([this] { run(); });
  }
  ~Workers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    ready_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  void hand_over(size_t index) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(index);
    }
    ready_.notify_one();
  }
  void wait_for(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return bool(done_[index]); });
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ready_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      const size_t index = queue_.front();
      queue_.pop_front();
      lock.unlock();
      for (size_t i = units_[index].first; i < units_[index].end; ++i) work_(i);
      lock.lock();
      done_[index] = true;
      finished_.notify_all();
    }
  }

  const std::vector<Unit>& units_;
  const std::function<void(size_t)>& work_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable finished_;
  std::deque<size_t> queue_;
  std::vector<char> done_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

// Work of fewer bytes than this is not worth a worker: handing it over and waking the worker
// costs more. Smaller items are gathered into runs of at least this many bytes (or of
// kMostInRun items); a run still short of it, at the end of the list or before a large item,
// is worked on the calling thread at its turn.
constexpr int64_t kHandOverFrom = 64 << 10;
constexpr size_t kMostInRun = 1024;

bool worth_handing_over(const Unit& unit) {
  return unit.bytes >= kHandOverFrom || unit.end - unit.first >= kMostInRun;
}

std::vector<Unit> units_of(const std::vector<int64_t>& sizes) {
  std::vector<Unit> units;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const int64_t bytes = std::max<int64_t>(sizes[i], 0);
    if (bytes < kHandOverFrom && !units.empty() && !worth_handing_over(units.back())) {
      units.back().end = i + 1;  // a small item joins the run before it while that is short
      units.back().bytes += bytes;
    } else {
      units.push_back(Unit{i, i + 1, bytes});
    }
  }
  return units;
}

}  // namespace

unsigned worker_threads(size_t items, unsigned wanted) {
  if (items < 2) return 0;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads = unsigned(std::min<size_t>(wanted != 0 ? wanted : cores, items));
  return threads > 1 ? threads : 0;  // a lone worker beside a waiting caller gains nothing
}

bool run_ordered(const std::vector<int64_t>& sizes, unsigned threads, int64_t readAheadBudget,
                 const OrderedSteps& steps) {
  const std::vector<Unit> units = units_of(sizes);
  const size_t n = units.size();
  const unsigned workerCount = sizes.size() < 2 ? 0 : threads;
  std::unique_ptr<Workers> workers;
  if (workerCount > 0) workers = std::make_unique<Workers>(units, workerCount, steps.work);
  const auto handed = [&](size_t u) { return workers && worth_handing_over(units[u]); };

  size_t nextRead = 0;
  int64_t readAhead = 0;
  for (size_t w = 0; w < n; ++w) {
    // Always the unit to be written next; more while workers are free and memory allows.
    while (nextRead < n && (nextRead == w || (nextRead - w <= workerCount &&
                                              readAhead + units[nextRead].bytes <= readAheadBudget))) {
      for (size_t i = units[nextRead].first; i < units[nextRead].end; ++i) {
        if (!steps.read(i)) return false;
      }
      readAhead += units[nextRead].bytes;
      if (handed(nextRead)) workers->hand_over(nextRead);
      ++nextRead;
    }
    if (handed(w)) {
      workers->wait_for(w);
    } else {
      for (size_t i = units[w].first; i < units[w].end; ++i) steps.work(i);
    }
    for (size_t i = units[w].first; i < units[w].end; ++i) {
      if (!steps.write(i)) return false;
    }
    readAhead -= units[w].bytes;
  }
  return true;
}
