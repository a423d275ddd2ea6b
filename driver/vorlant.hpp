#pragma once
// vorlant, the "Bundle Adjustment in the Large" triangulator: what sets it apart from the .lc
// program, as a description for the run driver.

#include <iosfwd>

#include "driver/program.hpp"
#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"
#include "model/camera_tables.hpp"

namespace tessmark {

const ProgramDescription& vorlantProgram();

// A BAL problem's points: each is the run of its observations, in file order.
class BalPointSource : public PointSource {
 public:
  int locate(int p, PointWorkspace& workspace) const override;
  void gather(int p, int n, PointWorkspace& workspace) const override;

  BalProblem problem;
  ObservationIndex index;
  CameraTables tables;
};

// Its progress line for point p (0-based) with n views: the point number in 8 places, the view
// count in 5, the percentage in fixed notation, 10 places, 5 decimals. Leaves the stream in fixed
// notation with precision 5, as the closing summary expects.
void writeVorlantProgressLine(std::ostream& out, int p, int n, int pointNum);

}  // namespace tessmark
