#pragma once
// Reads both triangulators' report files back and checks every line against the C format strings
// that make up the file contract. The format strings are spelled out here on their own, so
// a change to a writer that breaks the contract fails the tests.
//
// Conversions understood: %d and %Nd; %lf, %N.Plf, %.Plf; %.Pe, %N.Pe, %.PE; %s. A field is
// right-aligned with blanks to its width exactly as printf pads it; the floating conversions also
// accept the C library's non-finite texts (nan, -nan, inf, -inf; upper case for %E).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessmark::testing {

// One format's match at the start of a text.
struct FormatMatch {
  bool matched = false;
  std::size_t length = 0;           // bytes of the text the format took
  std::vector<std::string> fields;  // each conversion's text without its padding, in order
};

// Matches `format` against the start of `text`. %s takes the shortest text (without a line feed)
// that lets the rest of the format match.
FormatMatch matchFormat(std::string_view format, std::string_view text);

// Walks a report file one format (one or more writes) at a time.
class ReportScanner {
 public:
  explicit ReportScanner(std::string text);

  // Matches `format` at the current position and moves past it. On a mismatch returns false, keeps
  // the position and leaves a description in error().
  bool next(std::string_view format, std::vector<std::string>* fields = nullptr);
  bool atEnd() const { return position_ == text_.size(); }
  // 1-based line number of the current position.
  int line() const;
  const std::string& error() const { return error_; }

 private:
  std::string text_;
  std::size_t position_ = 0;
  std::string error_;
};

// A field's value; non-finite texts give NaN and infinities. Fails the calling test on anything
// else.
double fieldValue(const std::string& field);
int fieldInt(const std::string& field);

// The three lines of one point.
struct PointRecord {
  int number = 0;  // 1-based
  int views = 0;
  int loops = 0;
  int loopCap = 0;
  double x_m[3] = {};
  double x_f[3] = {};
  double reprojError_m = 0, klc_m = 0, reprojError_f = 0, klc_f = 0, seconds = 0;
  std::string solvable;  // "Solvable" or "Hard case"
  std::string global;    // "Global" or "Local"
  std::string text;      // the three lines without the seconds field, for comparisons
};

struct ResultsReport {
  std::string createdAt;
  int cameraNum = 0, pointNum = 0, imageCoordinates = 0, maxViewNum = 0;
  std::string eigenVersion;  // "3.4.0"
  std::string algorithmName;
  double epsilon = 0;
  std::vector<PointRecord> points;
  double sumReprojError_m = 0, maxKlc_m = 0, sumReprojError_f = 0, maxKlc_f = 0;
  int hardCaseCount = 0, localSolutionCount = 0, solvableCount = 0, globalSolutionCount = 0;
  double loadingSeconds = 0, indexingSeconds = 0, pretreatingSeconds = 0, triangulatingSeconds = 0;
};

// One row of the time-consumption table.
struct SummaryRow {
  int number = 0, views = 0, loops = 0;
  double seconds = 0, reprojError_f = 0, klc_f = 0, reprojError_m = 0, klc_m = 0;
  double rho_f = 0, gamma_f = 0, rho_m = 0, gamma_m = 0;
  std::string text;  // the row without its seconds field
};

struct SummaryReport {
  std::string algorithmName, createdAt;
  double sumReprojError_f = 0, sumReprojError_m = 0;
  std::string eigenVersion;
  int hardCaseCount = 0, localSolutionCount = 0, pointNum = 0;
  double maxKlc_f = 0;
  int notPositiveDefiniteCount = 0;
  int cameraNum = 0, imageCoordinates = 0, maxViewNum = 0;
  double epsilon = 0;
  std::vector<SummaryRow> rows;
};

// Parse one run's results file / summary file. Every line must match its format, the point
// numbers must run 1..pointNum in order, the verdicts must be the four label words, and nothing may
// follow. Returns an empty text on success, otherwise what is wrong and where.
std::string parseResultsReport(const std::string& text, ResultsReport& report);
std::string parseSummaryReport(const std::string& text, SummaryReport& report);
// The same for the .lc triangulator's reports (which have no observation count: imageCoordinates
// stays 0).
std::string parseSennicResultsReport(const std::string& text, ResultsReport& report);
std::string parseSennicSummaryReport(const std::string& text, SummaryReport& report);

}  // namespace tessmark::testing
