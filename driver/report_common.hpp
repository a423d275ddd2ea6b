#pragma once
// What both programs' reports share.

#include <Eigen/Core>

#include "model/derivatives.hpp"

namespace tessmark {

inline constexpr int kEigenVersion[3] = {EIGEN_WORLD_VERSION, EIGEN_MAJOR_VERSION,
                                         EIGEN_MINOR_VERSION};

inline const char* solvableLabel(bool solvable) { return solvable ? "Solvable" : "Hard case"; }
inline const char* globalLabel(bool global) { return global ? "Global" : "Local"; }

}  // namespace tessmark
