#pragma once
// A data set loaded and prepared once for a comparison of solvers: the same readers, indexing,
// camera tables and point sources as the two programs, without their console dialogue.

#include <string>
#include <string_view>
#include <vector>

#include "driver/program.hpp"
#include "solvers/menus.hpp"

namespace tessmark {

enum class DataFormat {
  bal,  // "Bundle Adjustment in the Large": vorlant's reader, point source and rules
  lc,   // the .lc multi-view format: sennic's
};

// The format a file name suggests: lc for a name ending in ".lc" or ".lc.bz2", bal otherwise.
DataFormat formatOfName(std::string_view path);
// The program whose menu and rules a format's data is judged by: vorlantSolvers() for bal,
// sennicSolvers() for lc.
const SolverProgram& solverProgramOf(DataFormat format);

struct DataSet {
  DataFormat format = DataFormat::bal;
  // Counts, view counts, the point source and the workspace; the three preparation times as the
  // programs measure them (loading includes checking the rest of a compressed file).
  PreparedData data;
  // .lc cameras whose matrix is no perspective camera (its points come out non-finite).
  std::vector<int> rankDeficientCameras;
};

// Reads the whole file and prepares it. BAL files may carry the header-ID line or not
// (readBalCountsAfterOptionalHeader); .lc files need theirs. A name ending in ".bz2" is
// decompressed as it is read, and the compressed stream is checked to its end. Throws InputError
// (file, line, what was expected) for a file that cannot be opened or is not well formed; returns
// only after the input has been read completely.
DataSet loadDataSet(const std::string& path, DataFormat format);

}  // namespace tessmark
