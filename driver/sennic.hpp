#pragma once
// sennic, the .lc multi-view triangulator: what sets it apart from the BAL program, as a
// description for the run driver.

#include <iosfwd>

#include "driver/program.hpp"
#include "input/lc_pretreatment.hpp"
#include "input/lc_problem.hpp"
#include "model/camera_tables.hpp"

namespace tessmark {

const ProgramDescription& sennicProgram();

// Its progress line for point p (0-based) with n views, written before the point is solved: the
// point number in 5 places, the view count in 4, the percentage in fixed notation, 7 places, 3
// decimals. Leaves the stream in fixed notation with precision 3, as the closing summary expects.
void writeSennicProgressLine(std::ostream& out, int p, int n, int pointNum);

// A .lc data set's points: point i's views are the cameras that see it, in increasing order. The
// scan of its visibility row (locate) lies outside the point stopwatch, the copying (gather)
// inside.
class LcPointSource : public PointSource {
 public:
  int locate(int p, PointWorkspace& workspace) const override;
  void gather(int p, int n, PointWorkspace& workspace) const override;

  LcProblem problem;
  LcVisibility visibility;
  CameraTables tables;
};

}  // namespace tessmark
