#pragma once
// The points of a data set over several threads: one call of the caller's work per point, handed
// out in small chunks to whichever worker is free (a point's solve takes from about a microsecond
// to a third of a millisecond, so fixed shares would leave workers idle), with a progress
// callback and cancellation. The work runs on oneTBB's scheduler in an arena of the given size.
//
// The order of the calls and the worker a point falls to differ from run to run: results written
// by point index, with per-worker state (one PointWorkspace and one PointSolver each), are the
// same bits whatever the thread count.

#include <cstddef>
#include <functional>
#include <stop_token>

namespace tessmark {

// The worker count that `threads` asks for: `threads` itself when positive, but no more than
// oneTBB runs at once (its limit: the cores, unless a tbb::global_control says otherwise); 0 or
// negative: every core this process may run on. At least 1.
int workerCount(int threads);

// Calls work(worker, index) once for every index in [0, count), over workerCount(threads) workers.
// worker lies in [0, workerCount(threads)), and no two calls with the same worker run at once:
// state kept per worker needs no lock. Each index's call happens on one worker only.
//
// progress(done), when given, is called after chunks of indices are done, with the number of
// indices done so far: one call at a time (from any worker, or the calling thread), done strictly
// increasing, and done == count in the last call of a run that was not cancelled (also for
// count 0).
//
// cancel: once a stop is requested, no further chunk is started; the chunks under way finish.
// Returns true when every index was done, false when the run was cancelled before that (the
// indices done then are some subset: the caller should not use the results of the others).
//
// An exception from work or progress stops the handing out of chunks and is rethrown here, once
// the chunks under way have finished. Nothing runs after the call returns.
bool forEachPoint(std::size_t count, int threads,
                  const std::function<void(int worker, std::size_t index)>& work,
                  const std::function<void(std::size_t done)>& progress = {},
                  std::stop_token cancel = {});

}  // namespace tessmark
