#include "solvers/menus.hpp"

#include <array>
#include <cassert>

#include "solvers/least_squares/armijo.hpp"
#include "solvers/least_squares/fan.hpp"
#include "solvers/least_squares/gauss_newton.hpp"
#include "solvers/least_squares/levenberg_marquardt.hpp"
#include "solvers/least_squares/trust_region.hpp"
#include "solvers/least_squares/yamashita_fukushima.hpp"
#include "solvers/newton/damped_newton.hpp"
#include "solvers/newton/greenstadt.hpp"
#include "solvers/newton/jarratt.hpp"
#include "solvers/newton/newton_raphson.hpp"

namespace tessmark {

namespace {

constexpr std::array<MenuEntry, 11> kVorlantMenu{{
    {"0", "  0: Newton-Raphson iteration", "Newton-Raphson",
     withOptions<newtonRaphson, kVorlantNewtonRaphson>},
    {"1", "  1: Gauss-Newton iteration", "Gauss-Newton",
     withOptions<gaussNewton, kVorlantGaussNewton>},
    {"2", "  2: Gauss-Newton with trust region", "Gauss-Newton with trust region",
     withOptions<gaussNewtonTrustRegion, kVorlantTrustRegion>},
    {"3", "  3: Jarratt iteration", "Newton-Jarratt iteration",
     withOptions<jarratt, kVorlantJarratt>},
    {"4", "  4: Newton-Raphson with Greenstadt modification",
     "Newton-Raphson iteration with Greenstadt modification",
     withOptions<greenstadtNewton, kVorlantGreenstadt>},
    {"5", "  5: Levenberg-Marquardt-Fan algorithm 2011Cubic",
     "Levenberg-Marquardt-Fan algorithm 2011Cubic",
     withOptions<levenbergMarquardtFan, kVorlantFan>},
    {"6", "  6: Levenberg-Marquardt-Yamashita-Fukushima 2000",
     "Levenberg-Marquardt-Yamashita-Fukushima 2000",
     withOptions<levenbergMarquardt, kVorlantYamashitaFukushima>},
    // Key 7 runs the general Levenberg-Marquardt solver under this name.
    {"7", "  7: Levenberg-Marquardt general algorithm",
     "Inexact Newton,Levenberg-Marquardt-Yamashita-Fukushima 2000",
     withOptions<levenbergMarquardt, kVorlantLevenbergMarquardt>},
    {"8", "  8: exact Newton line search, alpha dx norm as stopping criterion",
     "Exact damped Newton line search, alpha dx norm stopping criterion",
     withOptions<exactDampedNewton, kVorlantDampedNewton>},
    {"9", "  9: Gauss-Newton with Armijo line search", "Gauss-Newton with Armijo line search",
     withOptions<gaussNewtonArmijo, kVorlantArmijo>},
    {"other", " Otherwise: inexact Newton line search, alpha dx norm as stopping criterion",
     "Default inexact damped Newton line search, alpha dx norm stopping criterion",
     withOptions<inexactDampedNewton, kVorlantDampedNewton>},
}};

// The .lc triangulator's menu: lines 1 and 4 and names 1 and 2 read differently, every solver is
// that program's own copy, and the last row keeps the default's texts over a trust-region solver.
constexpr std::array<MenuEntry, 11> kSennicMenu{{
    {"0", "  0: Newton-Raphson iteration", "Newton-Raphson",
     withOptions<newtonRaphson, kSennicNewtonRaphson>},
    {"1", "  1: Gauss-Newton method", "Gauss-Newton method",
     withOptions<fullStepGaussNewton, kSennicGaussNewton>},
    {"2", "  2: Gauss-Newton with trust region", "Gauss-Newton with trust region strategy",
     withOptions<gaussNewtonTrustRegion, kSennicTrustRegion>},
    {"3", "  3: Jarratt iteration", "Newton-Jarratt iteration",
     withOptions<jarratt, kSennicJarratt>},
    {"4", "  4: Newton-Raphson iteration with Greenstadt modification",
     "Newton-Raphson iteration with Greenstadt modification",
     withOptions<greenstadtLineSearch, kSennicGreenstadt>},
    {"5", "  5: Levenberg-Marquardt-Fan algorithm 2011Cubic",
     "Levenberg-Marquardt-Fan algorithm 2011Cubic", withOptions<levenbergMarquardtFan, kSennicFan>},
    {"6", "  6: Levenberg-Marquardt-Yamashita-Fukushima 2000",
     "Levenberg-Marquardt-Yamashita-Fukushima 2000",
     withOptions<gatedYamashitaFukushima, kSennicYamashitaFukushima>},
    {"7", "  7: Levenberg-Marquardt general algorithm",
     "Inexact Newton,Levenberg-Marquardt-Yamashita-Fukushima 2000",
     withOptions<levenbergMarquardt, kSennicLevenbergMarquardt>},
    {"8", "  8: exact Newton line search, alpha dx norm as stopping criterion",
     "Exact damped Newton line search, alpha dx norm stopping criterion",
     withOptions<exactDampedNewton, kSennicDampedNewton>},
    {"9", "  9: Gauss-Newton with Armijo line search", "Gauss-Newton with Armijo line search",
     withOptions<gaussNewtonArmijo, kSennicArmijo>},
    {"other", " Otherwise: inexact Newton line search, alpha dx norm as stopping criterion",
     "Default inexact damped Newton line search, alpha dx norm stopping criterion",
     withOptions<startReferencedTrustRegion, kSennicDefaultTrustRegion>},
}};

}  // namespace

const MenuEntry& selectMenuEntry(std::span<const MenuEntry> menu, unsigned char key) {
  assert(menu.size() == 11);
  const int algorithmNumber = static_cast<signed char>(key) - '0';
  if (static_cast<unsigned>(algorithmNumber) <= 9u)
    return menu[static_cast<std::size_t>(algorithmNumber)];
  return menu.back();
}

std::span<const MenuEntry> vorlantMenu() { return kVorlantMenu; }

std::span<const MenuEntry> sennicMenu() { return kSennicMenu; }

const SolverProgram& vorlantSolvers() {
  static constexpr SolverProgram kProgram{
      "vorlant", kVorlantMenu, DepthGuard::on,
      JudgementRules{DepthGuard::on, KlcMeasure::newtonStep, KlcTests::asNamed}};
  return kProgram;
}

const SolverProgram& sennicSolvers() {
  static constexpr SolverProgram kProgram{
      "sennic", kSennicMenu, DepthGuard::off,
      JudgementRules{DepthGuard::off, KlcMeasure::curvatureScaledStep, KlcTests::traded}};
  return kProgram;
}

}  // namespace tessmark
