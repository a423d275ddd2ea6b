#pragma once
// The per-point workspace: room for the largest view count of the run, reused for every point. A
// point overwrites its first n view blocks; its problem is a view of those blocks, so evaluating it
// copies and allocates nothing. The solvers' scratch lives here too, sized by the same count.

#include <vector>

#include <Eigen/Core>

#include "model/camera_tables.hpp"
#include "model/point_problem.hpp"
#include "model/solver_scratch.hpp"

namespace tessmark {

struct PointWorkspace {
  explicit PointWorkspace(int maxViewNum);

  // View j of the current point: camera `camera` of the tables (its prepared block, one copy),
  // observed at (x, y).
  void gatherView(int j, const CameraTables& tables, int camera, double x, double y);
  // The problem of the current point's first n views.
  PointProblem problem(int n) const;

  std::vector<ViewBlock> views;  // m: the current point's views, contiguous
  std::vector<int> cameraList;   // m: the current point's cameras, view by view
  SolverScratch scratch;         // 2m residuals and Jacobian rows
};

}  // namespace tessmark
