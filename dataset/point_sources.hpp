#pragma once
// The point sources of the two formats: the records as read, what indexing made of them and the
// per-camera tables, with the gathering of one point from them.

#include <vector>

#include "dataset/data_set.hpp"
#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"
#include "input/lc_pretreatment.hpp"
#include "input/lc_problem.hpp"
#include "model/camera_tables.hpp"

namespace tessmark {

// A BAL problem's points: each is the run of its observations, in file order.
class BalPointSource : public PreparingSource {
 public:
  int locate(int p, PointWorkspace& workspace) const override;
  void gather(int p, int n, PointWorkspace& workspace) const override;
  std::vector<int> index() override;
  std::vector<int> pretreat() override;

  BalProblem problem;
  ObservationIndex observationIndex;
  CameraTables tables;
};

// A .lc data set's points: point i's views are the cameras that see it, in increasing order. The
// scan of its visibility row (locate) lies outside the point stopwatch, the copying (gather)
// inside.
class LcPointSource : public PreparingSource {
 public:
  int locate(int p, PointWorkspace& workspace) const override;
  void gather(int p, int n, PointWorkspace& workspace) const override;
  std::vector<int> index() override;
  std::vector<int> pretreat() override;

  LcProblem problem;
  LcVisibility visibility;
  CameraTables tables;
};

}  // namespace tessmark
