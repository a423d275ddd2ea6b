#pragma once
// The BAL triangulator's run, from banner to closing summary.

#include <span>

#include "driver/run_options.hpp"

namespace tessmark {

// The program's description for the command line.
const ProgramInfo& vorlantProgram();

// One whole run. Returns the process exit status: 0 after a complete run, -127 when the data file
// cannot be opened, -128 when it is not in the expected format, 1 when no usable algorithm key was
// given, 3 when a report file cannot be created or written. Input errors are reported before any
// report file is created.
int runVorlant(const RunOptions& options);

// Command line, run, and the last-resort handling of memory exhaustion (exit status 4).
int vorlantMain(std::span<const char* const> arguments);

}  // namespace tessmark
