#pragma once
// Reader of "Bundle Adjustment in the Large" problem files that carry one extra first line, the
// header ID. Layout, line by line:
//   1                     header ID: first token "Rome_is_not_built_in_one_day!"
//   2                     cameraNum pointNum imageCoordinates (further tokens ignored)
//   next imageCoordinates camera-index point-index x y (further tokens ignored)
//   next 9 cameraNum      one camera parameter per line (first token): angle-axis w (3),
//                         translation t (3), focal length f, radial distortion k1, k2
//   rest                  not read (the initial 3D points)
//
// The standard BAL file as distributed has no header-ID line and is read by tokens, as standard BAL
// readers read it (readBalCountsAfterOptionalHeader, BalLayout::tokens): the same values in the
// same order, line ends counting as blanks.
//
// The load is split in stages because the driver reports on the console between them. The file is
// streamed (TextFile): the header is checked after reading line 1 only, and memory grows with the
// counts, never with the length of the file.
// Well-formed files are read exactly; anything else raises InputError naming the file and line:
// missing or non-numeric counts, negative counts, a point count larger than the observation count,
// short lines, tokens that are not numbers, a line longer than TextFile::kMaxLineLength, a file
// shorter than its counts announce, camera indices outside 0..cameraNum-1 and point indices outside
// 0..pointNum-1. Counts and indices are int32 integers, coordinates and camera parameters reals in
// decimal or exponent notation (LineTokens in input/text_file.hpp); values are those of C atoi and
// atof. All counts may be 0.

#include <string>
#include <vector>

#include <Eigen/Core>

#include "input/text_file.hpp"

namespace tessmark {

inline constexpr const char* kBalHeaderId = "Rome_is_not_built_in_one_day!";

// How the records after the counts are laid out.
enum class BalLayout {
  lines,   // one record per line, further tokens on a line ignored (the header-ID file's rule)
  tokens,  // whitespace-separated tokens wherever the line ends fall, as standard BAL readers take
           // them: blank lines and a record broken over lines are allowed, and a token too many
           // or too few shifts every later value
};

struct BalCounts {
  int cameraNum = 0;
  int pointNum = 0;
  int imageCoordinates = 0;
  BalLayout layout = BalLayout::lines;  // of the records that follow
};

struct BalProblem {
  int cameraNum = 0;
  int pointNum = 0;
  int imageCoordinates = 0;
  std::vector<int> observationCamera;  // imageCoordinates entries, file order
  std::vector<int> observationPoint;   // imageCoordinates entries, file order
  Eigen::MatrixXd observationTable;    // imageCoordinates x 2: (x, y) as written
  Eigen::VectorXd cameraParameters;    // 9 cameraNum: camera c at 9c..9c+8
};

// Line 1: throws InputError(wrongHeader, line 1) unless its first token equals kBalHeaderId
// exactly (byte for byte; leading blanks and text after a blank are allowed). An empty file, an
// empty first line or a first line longer than TextFile::kMaxLineLength is a wrong header too.
// Nothing past line 1 is looked at (beyond the one chunk the stream reads).
void checkBalHeader(TextFile& file);
// Line 2: the three counts, each a non-negative int32, and no more points than observations (a
// point without an observation cannot be triangulated); throws InputError(malformed) naming line 2
// otherwise.
BalCounts readBalCounts(TextFile& file);
// The start of a BAL file whose header-ID line is optional. When the file's first token is
// kBalHeaderId, it is the header-ID file and keeps its line rules: the counts are read from the
// next line (readBalCounts), and so are the records (BalLayout::lines). Otherwise it is a standard
// BAL file as distributed, read as standard BAL readers read it: by whitespace-separated tokens,
// line ends and blank lines counting as blanks; the three counts are the first tokens (on one line
// or on several), each checked as readBalCounts checks it on the line of its token, and the records
// follow by tokens (BalLayout::tokens). Throws InputError(malformed) "expected the header ID '...'
// or the counts line (...), found ..." when the first token is neither the header ID nor a number,
// "expected the header ID or the counts line (...), found the end of the file" for a file without
// a token, and "expected the <name> count, found the end of the file" when it ends among the
// counts.
BalCounts readBalCountsAfterOptionalHeader(TextFile& file);

// The imageCoordinates observation lines and the 9 cameraNum camera parameter lines that follow the
// counts line (the counts come from readBalCounts); in counts.layout BalLayout::tokens, the
// imageCoordinates observations of 4 tokens and the 9 cameraNum parameter tokens that follow the
// counts (from readBalCountsAfterOptionalHeader). No count that the file cannot back reaches the
// allocator: the arrays are first sized for as many records as the rest of the file can hold (at
// least 8 bytes per observation line, "0 0 0 0" and its line feed, and 2 per parameter line) or
// as the count says, whichever is smaller; from a source of unknown length (a pipe) they start at
// 65536 records. They grow by doubling, never beyond the count, as records arrive, so a
// well-formed regular file is read into arrays of exactly its counts, allocated once. A file
// shorter than its counts is reported at its end: "expected observation line i of n (...)" or
// "expected camera parameter line k of 9 cameraNum (<parameter>), found the end of the file"; by
// tokens, "expected the <field> of observation i of n (...)" or "expected camera parameter k of 9
// cameraNum (<parameter>)". A value that is no number or an index out of range is named on the
// line of its token. Observations are kept in file order (indexObservations groups them); the rest
// of the file is not read.
BalProblem readBalRecords(TextFile& file, const BalCounts& counts);

}  // namespace tessmark
