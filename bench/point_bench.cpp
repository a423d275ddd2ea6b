// Per-point cost of the core on synthetic points shaped like the real data (image coordinates of a
// few hundred pixels, 0.5 px noise): the whole per-point path (symmedian start, the solver, the
// judgement of both points) for every solver of both menus at 2 to 10 views, and the parts on their
// own at 4 views. Reported per point; the "loops" counter is the mean loop count.
//
// And the kernels a solver iteration is made of, at 2 to 10 views ("kernel/NAME/N"): each call
// takes an input that depends on the last call's result, as a solver's calls do, so that the figure
// is the kernel's latency and not its throughput. A fused evaluation of cost, gradient and Hessian
// ("kernel/evaluation") is the yardstick the others are read against.

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "dataset/point_solver.hpp"
#include "model/derivatives.hpp"
#include "model/judgement.hpp"
#include "model/least_squares.hpp"
#include "model/symmedian.hpp"
#include "solvers/least_squares/damped_system.hpp"
#include "solvers/menu_settings.hpp"
#include "solvers/menus.hpp"
#include "solvers/newton/newton_raphson.hpp"
#include "solvers/newton/newton_system.hpp"
#include "tools/synthetic_scene.hpp"

namespace {

using namespace tessmark;

const SolverProgram* const kPrograms[] = {&vorlantSolvers(), &sennicSolvers()};

std::vector<synthetic::PointData> makePoints(int views, int count) {
  const auto cameras = synthetic::cameraRing(views, 10.0, 800.0);
  std::vector<synthetic::PointData> points;
  for (int i = 0; i < count; ++i) {
    const Eigen::Vector3d point(0.3 * ((i % 7) - 3), 0.25 * ((i % 5) - 2), 0.2 * ((i % 3) - 1));
    points.push_back(synthetic::observePoint(cameras, point, 0.5, static_cast<unsigned>(i + 1)));
  }
  return points;
}

void pointPipeline(benchmark::State& state, const SolverProgram& program, const MenuEntry& entry) {
  const int views = static_cast<int>(state.range(0));
  const auto points = makePoints(views, 256);
  PointWorkspace workspace(views);
  PointSolver solver(program, entry, workspace);
  std::size_t i = 0;
  double loops = 0.0;
  for (auto _ : state) {
    const PointOutcome outcome = solver.triangulate(points[i++ % points.size()].problem());
    loops += outcome.loops;
    benchmark::DoNotOptimize(outcome.judgement);
  }
  state.counters["loops"] = benchmark::Counter(loops, benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations());
}

// The parts on their own, at 4 views.
void symmedianStart(benchmark::State& state) {
  const auto points = makePoints(4, 256);
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(symmedianPoint(points[i++ % points.size()].problem()));
}
BENCHMARK(symmedianStart)->Unit(benchmark::kMicrosecond);

void newtonRaphsonSolve(benchmark::State& state) {
  const auto points = makePoints(4, 256);
  std::vector<Eigen::Vector3d> starts;
  for (const auto& point : points) starts.push_back(symmedianPoint(point.problem()));
  SolverScratch scratch(4);
  std::size_t i = 0;
  for (auto _ : state) {
    SolverContext context{DepthGuard::on, scratch};
    const std::size_t k = i++ % points.size();
    benchmark::DoNotOptimize(newtonRaphson(points[k].problem(), context, starts[k],
                                           kSolverTolerance, kVorlantNewtonRaphson));
  }
}
BENCHMARK(newtonRaphsonSolve)->Unit(benchmark::kMicrosecond);

void judgement(benchmark::State& state) {
  const auto points = makePoints(4, 256);
  std::vector<Eigen::Vector3d> starts;
  for (const auto& point : points) starts.push_back(symmedianPoint(point.problem()));
  std::size_t i = 0;
  for (auto _ : state) {
    const std::size_t k = i++ % points.size();
    benchmark::DoNotOptimize(
        judgePoint(points[k].problem(), starts[k], starts[k], vorlantSolvers().judgement));
  }
}
BENCHMARK(judgement)->Unit(benchmark::kMicrosecond);

// A kernel called on one point again and again, each call's input made to depend on the last
// result (x moved by 0 times one of its entries: no change, but a wait). The kernel takes the
// point, x, and the point's linearisation and derivatives at its start, and returns a double.
template <typename Kernel>
void kernelChain(benchmark::State& state, Kernel kernel) {
  const int views = static_cast<int>(state.range(0));
  const auto points = makePoints(views, 1);
  const PointProblem problem = points[0].problem();
  Eigen::Vector3d x = symmedianPoint(problem);
  SolverScratch scratch(views);
  auto r = scratch.residualsOf(views);
  auto J = scratch.jacobianOf(views);
  residualsAndJacobian(problem, x, r, J);
  const GradientAndHessian derivatives = gradientAndHessian(problem, x, DepthGuard::on);
  for (auto _ : state) {
    const double last = kernel(problem, x, scratch, derivatives);
    x(0) += 0.0 * last;
  }
  benchmark::DoNotOptimize(x);
}

// A least-squares solve of the point's J and r (r waiting for x), as a kernel.
template <auto solve>
double leastSquaresKernel(const PointProblem& problem, const Eigen::Vector3d& x,
                          SolverScratch& scratch, const GradientAndHessian&) {
  auto r = scratch.residualsOf(problem.viewCount);
  r(0) += 0.0 * x(0);
  return solve(scratch.jacobianOf(problem.viewCount), r, scratch.leastSquares)(0);
}

struct Kernel {
  const char* name;
  double (*call)(const PointProblem&, const Eigen::Vector3d&, SolverScratch&,
                 const GradientAndHessian&);
};

const Kernel kKernels[] = {
    {"evaluation",
     [](const PointProblem& problem, const Eigen::Vector3d& x, SolverScratch&,
        const GradientAndHessian&) { return evaluatePoint(problem, x, DepthGuard::on).cost; }},
    {"cost", [](const PointProblem& problem, const Eigen::Vector3d& x, SolverScratch&,
                const GradientAndHessian&) { return reprojectionCost(problem, x); }},
    {"linearisation",
     [](const PointProblem& problem, const Eigen::Vector3d& x, SolverScratch& scratch,
        const GradientAndHessian&) {
       auto r = scratch.residualsOf(problem.viewCount);
       residualsAndJacobian(problem, x, r, scratch.jacobianOf(problem.viewCount));
       return r(0);
     }},
    {"householder", leastSquaresKernel<householderLeastSquares>},
    {"pivoting", leastSquaresKernel<pivotingLeastSquares>},
    {"damped",
     [](const PointProblem&, const Eigen::Vector3d& x, SolverScratch&,
        const GradientAndHessian& d) {
       return DampedSystem(d.hessian, 1e-3 + 0.0 * x(0)).solve(d.gradient)(0);
     }},
    {"newton",
     [](const PointProblem&, const Eigen::Vector3d& x, SolverScratch&,
        const GradientAndHessian& d) {
       return solveNewtonSystem(d.hessian, d.gradient + Eigen::Vector3d::Constant(0.0 * x(0)))(0);
     }},
};

}  // namespace

int main(int argc, char** argv) {
  for (const SolverProgram* program : kPrograms) {
    for (const MenuEntry& entry : program->menu) {
      if (entry.solver == nullptr) continue;
      const std::string name = std::string("pointPipeline/") + program->name + "/key:" + entry.key;
      benchmark::RegisterBenchmark(name.c_str(), pointPipeline, *program, entry)
          ->DenseRange(2, 10, 4)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  for (const Kernel& kernel : kKernels) {
    const std::string name = std::string("kernel/") + kernel.name;
    benchmark::RegisterBenchmark(name.c_str(), kernelChain<decltype(kernel.call)>, kernel.call)
        ->DenseRange(2, 10, 4)
        ->Unit(benchmark::kNanosecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
