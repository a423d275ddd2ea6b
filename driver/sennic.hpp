#pragma once
// sennic, the .lc multi-view triangulator: what sets it apart from the BAL program, as a
// description for the run driver.

#include <iosfwd>

#include "driver/program.hpp"

namespace tessmark {

const ProgramDescription& sennicProgram();

// Its progress line for point p (0-based) with n views, written before the point is solved: the
// point number in 5 places, the view count in 4, the percentage in fixed notation, 7 places, 3
// decimals. Leaves the stream in fixed notation with precision 3, as the closing summary expects.
void writeSennicProgressLine(std::ostream& out, int p, int n, int pointNum);

}  // namespace tessmark
