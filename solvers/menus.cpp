#include "solvers/menus.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cctype>
#include <cstdio>

#include "solvers/menu_settings.hpp"

namespace tessmark {

namespace {

constexpr std::array<MenuEntry, kMenuRows> kVorlantMenu{{
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
constexpr std::array<MenuEntry, kMenuRows> kSennicMenu{{
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

// Every row carries its key as kMenuKeys spells it.
constexpr bool keysInRowOrder(std::span<const MenuEntry> menu) {
  for (std::size_t row = 0; row < kMenuRows; ++row) {
    if (kMenuKeys[row] != menu[row].key) return false;
  }
  return true;
}
static_assert(keysInRowOrder(kVorlantMenu) && keysInRowOrder(kSennicMenu));

}  // namespace

std::string allMenuKeys() {
  std::string keys;
  for (const std::string_view key : kMenuKeys) keys += key;
  return keys;
}

std::optional<std::vector<std::size_t>> menuRowsOfKeys(std::string_view keys,
                                                       std::string& problem) {
  const std::string known = "the keys are 0 to 9 and " + std::string(kMenuKeys[kDefaultRow]) +
                            " (the row that any other keystroke selects)";
  problem.clear();
  if (keys.empty()) {
    problem = "no keys given: " + known;
    return std::nullopt;
  }
  std::vector<std::size_t> rows;
  for (std::size_t at = 0; at < keys.size();) {
    std::optional<std::size_t> found;
    for (std::size_t row = 0; row < kMenuRows && !found; ++row) {
      if (keys.substr(at).starts_with(kMenuKeys[row])) found = row;
    }
    if (!found) {
      const auto byte = static_cast<unsigned char>(keys[at]);
      char shown[8];
      if (std::isprint(byte)) {
        std::snprintf(shown, sizeof shown, "'%c'", byte);
      } else {
        std::snprintf(shown, sizeof shown, "\\x%02X", byte);
      }
      problem = "unknown key " + std::string(shown) + ": " + known;
      return std::nullopt;
    }
    if (std::find(rows.begin(), rows.end(), *found) != rows.end()) {
      problem = "key '" + std::string(kMenuKeys[*found]) + "' is named twice";
      return std::nullopt;
    }
    rows.push_back(*found);
    at += kMenuKeys[*found].size();
  }
  return rows;
}

const MenuEntry& selectMenuEntry(std::span<const MenuEntry> menu, unsigned char key) {
  assert(menu.size() == kMenuRows);
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
