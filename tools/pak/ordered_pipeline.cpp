// The ordered pipeline: a small pool of workers fed in item order, the calling thread reading
// ahead within its budget, working small items itself and writing each item as soon as its
// work is done.
#include "tools/pak/ordered_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Worker threads that run the work of the items handed to them, in the order handed over.
class Workers {
 public:
  Workers(size_t items, unsigned count, const std::function<void(size_t)>& work)
      : work_(work), done_(items, false) {
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
      work_(index);
      lock.lock();
      done_[index] = true;
      finished_.notify_all();
    }
  }

  const std::function<void(size_t)>& work_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable finished_;
  std::deque<size_t> queue_;
  std::vector<char> done_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

// Items smaller than this are worked on the calling thread at their turn: handing one to a
// worker and waking it costs more than the work itself.
constexpr int64_t kHandOverFrom = 64 << 10;

}  // namespace

unsigned worker_threads(size_t items, unsigned wanted) {
  if (items < 2) return 0;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads = unsigned(std::min<size_t>(wanted != 0 ? wanted : cores, items));
  return threads > 1 ? threads : 0;  // a lone worker beside a waiting caller gains nothing
}

bool run_ordered(const std::vector<int64_t>& sizes, unsigned threads, int64_t readAheadBudget,
                 const OrderedSteps& steps) {
  const size_t n = sizes.size();
  const unsigned workerCount = n < 2 ? 0 : threads;
  std::unique_ptr<Workers> workers;
  if (workerCount > 0) workers = std::make_unique<Workers>(n, workerCount, steps.work);

  size_t nextRead = 0;
  int64_t readAhead = 0;
  for (size_t w = 0; w < n; ++w) {
    // Always the item to be written next; more while workers are free and memory allows.
    while (nextRead < n && (nextRead == w || (nextRead - w <= workerCount &&
                                              readAhead + sizes[nextRead] <= readAheadBudget))) {
      if (!steps.read(nextRead)) return false;
      readAhead += sizes[nextRead];
      if (workers && sizes[nextRead] >= kHandOverFrom) workers->hand_over(nextRead);
      ++nextRead;
    }
    if (workers && sizes[w] >= kHandOverFrom) {
      workers->wait_for(w);
    } else {
      steps.work(w);
    }
    if (!steps.write(w)) return false;
    readAhead -= sizes[w];
  }
  return true;
}
