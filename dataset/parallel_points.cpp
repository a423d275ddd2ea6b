#include "dataset/parallel_points.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>
#include <oneapi/tbb/task_arena.h>
#include <oneapi/tbb/task_group.h>

namespace tessmark {

namespace {

// The most indices one chunk holds. Small enough that a chunk of the slowest points (about 0.3 ms
// each) is done in a few milliseconds, so that workers stay balanced to the end, cancellation is
// quick and progress moves; large enough that the scheduler's cost per chunk vanishes beside the
// cheapest points (about 1 microsecond each).
constexpr std::size_t kMostPerChunk = 16;

// Reports the count done so far, from whichever thread finished a chunk: one call at a time, each
// with a larger count than the last. A thread that finds another reporting goes back to work; its
// chunk is counted in a later call.
class ProgressReport {
 public:
  explicit ProgressReport(const std::function<void(std::size_t)>& progress) : progress_(progress) {}

  void add(std::size_t indices) {
    const std::size_t now = done_.fetch_add(indices, std::memory_order_relaxed) + indices;
    if (!progress_) return;
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (lock.owns_lock()) tell(now);
  }

  // The last call of a complete run: the whole count, unless a call gave it already.
  void finish(std::size_t count) {
    if (!progress_) return;
    std::lock_guard lock(mutex_);
    if (told_ && reported_ == count) return;
    told_ = true;
    reported_ = count;
    progress_(count);
  }

  std::size_t done() const { return done_.load(std::memory_order_relaxed); }

 private:
  void tell(std::size_t now) {
    const std::size_t latest = std::max(now, done());
    if (told_ && latest <= reported_) return;
    told_ = true;
    reported_ = latest;
    progress_(latest);
  }

  const std::function<void(std::size_t)>& progress_;
  std::atomic<std::size_t> done_{0};
  std::mutex mutex_;
  bool told_ = false;
  std::size_t reported_ = 0;
};

}  // namespace

int workerCount(int threads) {
  if (threads <= 0) return std::max(1, tbb::info::default_concurrency());
  // oneTBB runs no more threads than its limit (the cores) at once, and warns of an arena that asks
  // for more.
  const auto limit =
      tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism);
  return static_cast<int>(
      std::min<std::size_t>(static_cast<std::size_t>(threads), std::max<std::size_t>(limit, 1)));
}

bool forEachPoint(std::size_t count, int threads,
                  const std::function<void(int worker, std::size_t index)>& work,
                  const std::function<void(std::size_t done)>& progress, std::stop_token cancel) {
  const int workers = workerCount(threads);
  ProgressReport report(progress);
  tbb::task_group_context group;
  tbb::task_arena arena(workers);
  arena.execute([&] {
    tbb::parallel_for(
        tbb::blocked_range<std::size_t>(0, count, kMostPerChunk),
        [&](const tbb::blocked_range<std::size_t>& chunk) {
          if (cancel.stop_requested()) {
            group.cancel_group_execution();
            return;
          }
          // The arena's slot of this thread: unique among the threads running in the arena, and
          // below its size.
          const int worker = tbb::this_task_arena::current_thread_index();
          for (std::size_t index = chunk.begin(); index != chunk.end(); ++index) {
            work(worker, index);
          }
          report.add(chunk.size());
        },
        tbb::simple_partitioner(), group);
  });
  if (report.done() < count) return false;
  report.finish(count);
  return true;
}

}  // namespace tessmark
