#include "dataset/point_sources.hpp"

namespace tessmark {

int BalPointSource::locate(int p, PointWorkspace&) const {
  return observationIndex.viewNum[static_cast<std::size_t>(p)];
}

void BalPointSource::gather(int p, int, PointWorkspace& workspace) const {
  gatherBalPoint(workspace, problem, observationIndex, tables, p);
}

std::vector<int> BalPointSource::index() {
  observationIndex = indexObservations(problem);
  return observationIndex.viewNum;
}

std::vector<int> BalPointSource::pretreat() {
  tables = pretreatCameras(problem.cameraParameters, problem.cameraNum);
  return {};
}

int LcPointSource::locate(int p, PointWorkspace& workspace) const {
  return locateLcPoint(workspace, visibility, p);
}

void LcPointSource::gather(int p, int n, PointWorkspace& workspace) const {
  gatherLcPoint(workspace, problem, tables, p, n);
}

std::vector<int> LcPointSource::index() {
  visibility = indexLcObservations(problem);
  return visibility.viewNum;
}

std::vector<int> LcPointSource::pretreat() {
  std::vector<int> rankDeficient;
  tables = pretreatLcCameras(problem, rankDeficient);
  return rankDeficient;
}

}  // namespace tessmark
