#include "model/point_workspace.hpp"

namespace tessmark {

PointWorkspace::PointWorkspace(int maxViewNum)
    : views(static_cast<std::size_t>(maxViewNum)),
      cameraList(static_cast<std::size_t>(maxViewNum)),
      scratch(maxViewNum) {}

void PointWorkspace::gatherView(int j, const CameraTables& tables, int camera, double x, double y) {
  const auto view = static_cast<std::size_t>(j);
  cameraList[view] = camera;
  ViewBlock& block = views[view];
  block = tables.cameraBlocks[static_cast<std::size_t>(camera)];
  block.observation = {x, y};
}

PointProblem PointWorkspace::problem(int n) const { return PointProblem{n, views.data()}; }

}  // namespace tessmark
