#pragma once
// The one run driver of both triangulator programs: start-up, loading and preparation, the
// algorithm menu, the per-point loop, the reports and the closing summary, in that order. What a
// program does differently comes from its ProgramDescription.

#include <span>

#include "driver/program.hpp"
#include "driver/run_options.hpp"

namespace tessmark {

// One whole run. Returns the process exit status: 0 after a complete run, -127 when the data file
// cannot be opened, -128 when it is not in the expected format, 1 when no usable algorithm key was
// given, 3 when a report file cannot be created or written, 5 after a complete run whose console
// text could not all be written (standard output closed by its reader, or a full disk). Input
// errors are reported before any report file is created.
int runTriangulation(const ProgramDescription& program, const RunOptions& options);

// The program's entry: the command line, the run, the last-resort handling of memory exhaustion
// (exit status 4), and the console restored whatever happened. SIGPIPE is ignored from the start,
// so that a closed standard output stops the console text only.
int programMain(const ProgramDescription& program, std::span<const char* const> arguments);

}  // namespace tessmark
