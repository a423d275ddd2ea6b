// The points of a data set over several threads: every index once, per-worker state never shared
// by two calls at once, progress that only rises and ends at the count, cancellation that stops
// the handing out, and an exception that reaches the caller.
#include "dataset/parallel_points.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace tessmark {
namespace {

TEST(ForEachPoint, CallsEveryIndexOnceWithAWorkerOfItsOwn) {
  // More threads than cores (as many workers as run at once), a count that is no multiple of a
  // chunk, and the edge counts.
  for (const int threads : {1, 2, 3, 8}) {
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{1001}}) {
      SCOPED_TRACE(testing::Message() << threads << " threads, " << count << " indices");
      const int workers = workerCount(threads);
      ASSERT_GE(workers, 1);
      ASSERT_LE(workers, threads);
      std::vector<std::atomic<int>> calls(count);
      const auto busy = std::make_unique<std::atomic<bool>[]>(static_cast<std::size_t>(workers));
      std::atomic<int> badWorker{0}, sharedWorker{0};
      const bool complete = forEachPoint(count, threads, [&](int worker, std::size_t index) {
        if (worker < 0 || worker >= workers) {
          ++badWorker;
          return;
        }
        if (busy[static_cast<std::size_t>(worker)].exchange(true)) ++sharedWorker;
        ++calls[index];
        if (index % 7 == 0) std::this_thread::yield();  // uneven work, as points are
        busy[static_cast<std::size_t>(worker)] = false;
      });
      EXPECT_TRUE(complete);
      EXPECT_EQ(badWorker, 0);
      EXPECT_EQ(sharedWorker, 0);
      for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(calls[i], 1) << "index " << i;
    }
  }
}

TEST(ForEachPoint, AllCoresByDefaultAndNoMoreThanRunAtOnce) {
  EXPECT_GE(workerCount(0), 1);
  EXPECT_EQ(workerCount(-3), workerCount(0));
  EXPECT_EQ(workerCount(1), 1);
  EXPECT_LE(workerCount(1000), std::max(1u, std::thread::hardware_concurrency()));
}

TEST(ForEachPoint, ProgressRisesOneCallAtATimeAndEndsAtTheCount) {
  for (const std::size_t count : {std::size_t{0}, std::size_t{5}, std::size_t{4000}}) {
    SCOPED_TRACE(testing::Message() << count << " indices");
    std::vector<std::size_t> seen;
    std::atomic<bool> inside{false};
    std::atomic<int> overlapping{0};
    const bool complete = forEachPoint(
        count, 3, [](int, std::size_t) {},
        [&](std::size_t done) {
          if (inside.exchange(true)) ++overlapping;
          seen.push_back(done);
          inside = false;
        });
    EXPECT_TRUE(complete);
    EXPECT_EQ(overlapping, 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), count);
    for (std::size_t k = 1; k < seen.size(); ++k) EXPECT_LT(seen[k - 1], seen[k]);
  }
}

TEST(ForEachPoint, CancellationStopsHandingOutChunks) {
  constexpr std::size_t kCount = 100000;
  std::stop_source stop;
  std::atomic<std::size_t> calls{0};
  std::vector<std::size_t> seen;
  const bool complete = forEachPoint(
      kCount, 2,
      [&](int, std::size_t) {
        if (++calls == 100) stop.request_stop();
      },
      [&](std::size_t done) { seen.push_back(done); }, stop.get_token());
  EXPECT_FALSE(complete);
  // The chunks under way finish; nothing near the whole count is started.
  EXPECT_GE(calls.load(), 100u);
  EXPECT_LT(calls.load(), kCount / 10);
  for (const std::size_t done : seen) EXPECT_LT(done, kCount);

  // A stop requested before the call: nothing runs.
  std::atomic<std::size_t> late{0};
  EXPECT_FALSE(forEachPoint(
      kCount, 2, [&](int, std::size_t) { ++late; }, {}, stop.get_token()));
  EXPECT_EQ(late, 0u);
}

TEST(ForEachPoint, AnExceptionFromTheWorkReachesTheCaller) {
  std::atomic<std::size_t> calls{0};
  EXPECT_THROW(forEachPoint(100000, 2,
                            [&](int, std::size_t index) {
                              ++calls;
                              if (index == 500) throw std::runtime_error("point 500");
                            }),
               std::runtime_error);
  EXPECT_LT(calls.load(), 100000u);
}

}  // namespace
}  // namespace tessmark
