#pragma once
// vorlant, the "Bundle Adjustment in the Large" triangulator: what sets it apart from the .lc
// program, as a description for the run driver.

#include <iosfwd>

#include "driver/program.hpp"

namespace tessmark {

const ProgramDescription& vorlantProgram();

// Its progress line for point p (0-based) with n views: the point number in 8 places, the view
// count in 5, the percentage in fixed notation, 10 places, 5 decimals. Leaves the stream in fixed
// notation with precision 5, as the closing summary expects.
void writeVorlantProgressLine(std::ostream& out, int p, int n, int pointNum);

}  // namespace tessmark
