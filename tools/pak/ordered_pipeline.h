// Work on a list of items in three steps: read (on the calling thread, which alone opens and
// makes files by name), the heavy part (on worker threads, touching only what is the item's
// own: its memory, a file its read opened for it), and write (on the calling thread, strictly
// in item order). Small items travel in runs of consecutive
// ones. Reads run ahead of writes by at most one item or run per worker and a byte budget, so
// memory stays bounded however long the list is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct OrderedSteps {
  std::function<bool(size_t)> read;   // false stops the run
  std::function<void(size_t)> work;   // may run on any thread, several items at once
  std::function<bool(size_t)> write;  // false stops the run
};

// Runs the steps for items 0 to sizes.size() - 1. threads 0 (or a single item) runs the work
// inline, as it does for a few small items together too small to be worth a worker. Returns
// false at the first read or write that fails, after the workers have stopped.
bool run_ordered(const std::vector<int64_t>& sizes, unsigned threads, int64_t readAheadBudget,
                 const OrderedSteps& steps);

// Threads worth starting for the number of items: one per core (or as many as wanted), never
// more than the items. One thread is the calling one: the work then runs inline (0).
unsigned worker_threads(size_t items, unsigned wanted);
