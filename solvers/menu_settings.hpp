#pragma once
// The settings each program's menu runs its solvers with, one options record per menu row that is
// not the solver's defaults (the large-data program's). Read by the menus and by the tests that pin
// a copy's behaviour; nothing else chooses a program's settings.

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

// The BAL triangulator's.
inline constexpr NewtonRaphsonOptions kVorlantNewtonRaphson{};
inline constexpr GaussNewtonOptions kVorlantGaussNewton{};
inline constexpr TrustRegionOptions kVorlantTrustRegion{};
inline constexpr JarrattOptions kVorlantJarratt{};
inline constexpr GreenstadtOptions kVorlantGreenstadt{};
inline constexpr FanOptions kVorlantFan{};
// Key 6: levenbergMarquardt on the exact Hessian: (H + mu I) d = g, mu = r.r, x <- x - d. Far from
// the solution the damping dominates; near it the step approaches the Newton step. H + mu I can be
// indefinite, and a step that increases the cost is still taken.
inline constexpr LevenbergMarquardtOptions kVorlantYamashitaFukushima{
    .matrix = DampedMatrix::exactHessian};
inline constexpr LevenbergMarquardtOptions kVorlantLevenbergMarquardt{};
inline constexpr DampedNewtonOptions kVorlantDampedNewton{};
inline constexpr ArmijoOptions kVorlantArmijo{};

// The .lc triangulator's.
inline constexpr NewtonRaphsonOptions kSennicNewtonRaphson{.loopCap = 500, .countsEntry = false};
inline constexpr GaussNewtonOptions kSennicGaussNewton{.loopCap = 500};
inline constexpr TrustRegionOptions kSennicTrustRegion{.loopCap = 500,
                                                       .predicted = PredictedReduction::fullCost,
                                                       .boundary = TrustRegionBoundary::plain};
// The .lc triangulator's default solver (startReferencedTrustRegion).
inline constexpr TrustRegionOptions kSennicDefaultTrustRegion{
    .loopCap = 500,
    .predicted = PredictedReduction::halfCost,
    .boundary = TrustRegionBoundary::plain};
inline constexpr JarrattOptions kSennicJarratt{.loopCap = 500};
inline constexpr GreenstadtOptions kSennicGreenstadt{.eigenvalueFloor = kDblEpsilon,
                                                     .replacesFloor = false,
                                                     .loopCap = 500,
                                                     .countsEntry = false,
                                                     .testsStartGradient = false};
inline constexpr FanOptions kSennicFan{.loopCap = 500, .matrix = DampedMatrix::gaussNewton};
inline constexpr GatedYamashitaFukushimaOptions kSennicYamashitaFukushima{};
inline constexpr LevenbergMarquardtOptions kSennicLevenbergMarquardt{.loopCap = 500};
inline constexpr DampedNewtonOptions kSennicDampedNewton{.loopCap = 500,
                                                         .newtonSvdFallback = false};
inline constexpr ArmijoOptions kSennicArmijo{.firstIteration = -10, .reusesTrialCost = true};

}  // namespace tessmark
