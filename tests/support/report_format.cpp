#include "tests/support/report_format.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <gtest/gtest.h>

namespace tessmark::testing {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

struct Conversion {
  int width = 0;
  int precision = -1;  // -1: not given (6 for the floating conversions)
  char type = 'd';     // 'd', 'f', 'e', 'E' or 's'
};

struct Segment {
  bool literal = true;
  std::string_view text;  // a literal's bytes
  Conversion conversion;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<Segment> segmentsOf(std::string_view format) {
  std::vector<Segment> segments;
  std::size_t i = 0;
  while (i < format.size()) {
    if (format[i] != '%') {
      const std::size_t next = std::min(format.find('%', i), format.size());
      segments.push_back({true, format.substr(i, next - i), {}});
      i = next;
      continue;
    }
    Conversion conversion;
    ++i;
    while (i < format.size() && isDigit(format[i]))
      conversion.width = 10 * conversion.width + (format[i++] - '0');
    if (i < format.size() && format[i] == '.') {
      conversion.precision = 0;
      ++i;
      while (i < format.size() && isDigit(format[i])) {
        conversion.precision = 10 * conversion.precision + (format[i++] - '0');
      }
    }
    if (i < format.size() && format[i] == 'l') ++i;
    if (i >= format.size() || std::string_view("dfeEs").find(format[i]) == kNone) {
      throw std::invalid_argument("unsupported conversion in '" + std::string(format) + "'");
    }
    conversion.type = format[i++];
    segments.push_back({false, {}, conversion});
  }
  return segments;
}

std::size_t digitsAt(std::string_view text, std::size_t i) {
  std::size_t j = i;
  while (j < text.size() && isDigit(text[j])) ++j;
  return j - i;
}

// Length of the unpadded text of a numeric conversion at text[i], or kNone.
std::size_t numberLength(const Conversion& c, std::string_view text, std::size_t i) {
  std::size_t j = i;
  if (j < text.size() && text[j] == '-') ++j;
  if (c.type != 'd') {
    const bool upper = c.type == 'E';
    for (std::string_view word : {upper ? "NAN" : "nan", upper ? "INF" : "inf"}) {
      if (text.substr(j).starts_with(word)) return j + word.size() - i;
    }
  }
  const std::size_t integerDigits = digitsAt(text, j);
  if (integerDigits == 0) return kNone;
  if ((c.type == 'e' || c.type == 'E') && integerDigits != 1) return kNone;
  j += integerDigits;
  if (c.type == 'd') return j - i;
  const auto precision = static_cast<std::size_t>(c.precision < 0 ? 6 : c.precision);
  if (precision > 0) {
    if (j >= text.size() || text[j] != '.' || digitsAt(text, j + 1) < precision) return kNone;
    j += 1 + precision;
  }
  if (c.type == 'e' || c.type == 'E') {
    if (j + 1 >= text.size() || text[j] != c.type || (text[j + 1] != '+' && text[j + 1] != '-'))
      return kNone;
    const std::size_t exponentDigits = digitsAt(text, j + 2);
    if (exponentDigits < 2) return kNone;
    j += 2 + exponentDigits;
  }
  return j - i;
}

bool matchSegments(const std::vector<Segment>& segments, std::size_t k, std::string_view text,
                   std::size_t position, std::vector<std::string>& fields, std::size_t& end) {
  if (k == segments.size()) {
    end = position;
    return true;
  }
  const Segment& segment = segments[k];
  if (segment.literal) {
    return text.substr(position).starts_with(segment.text) &&
           matchSegments(segments, k + 1, text, position + segment.text.size(), fields, end);
  }
  const Conversion& c = segment.conversion;
  if (c.type == 's') {
    for (std::size_t length = 0; position + length <= text.size(); ++length) {
      if (length > 0 && text[position + length - 1] == '\n') break;
      fields.emplace_back(text.substr(position, length));
      if (matchSegments(segments, k + 1, text, position + length, fields, end)) return true;
      fields.pop_back();
    }
    return false;
  }
  std::size_t padding = 0;
  while (position + padding < text.size() && text[position + padding] == ' ') ++padding;
  const std::size_t length = numberLength(c, text, position + padding);
  if (length == kNone) return false;
  const std::size_t width = static_cast<std::size_t>(c.width);
  if (padding != (length < width ? width - length : 0)) return false;
  fields.emplace_back(text.substr(position + padding, length));
  if (matchSegments(segments, k + 1, text, position + padding + length, fields, end)) return true;
  fields.pop_back();
  return false;
}

std::string visible(std::string_view text) {
  std::string shown;
  for (char c : text) {
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      shown += c;
    }
  }
  return shown;
}

// The fields of a match joined by '|', without the field at `skipped` (a time).
std::string joinedWithout(const std::vector<std::string>& fields, std::size_t skipped) {
  std::string joined;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != skipped) joined += fields[i] + "|";
  }
  return joined;
}

const std::string kRule = std::string(117, '-') + "\n";

// The results file: header, point record, summary block.
constexpr const char* kCreatedAtLine = "Supporting material to Tessmark ; created at %s\n";
constexpr const char* kDataLine =
    "Data %d-%d-%d ; maxViewNum: %d; Eigen C++: %d.%d.%d; Algorithm: %s;\n";
constexpr const char* kCountsLine =
    "Total camera number: %d; Total 3D point number: %d; Total 2D image coordinates: %d; epsilon "
    "is %.16e \n";
constexpr const char* kNoteLine =
    "NOTE: A brief summary is at the bottom and a separate time consumption table TXT file.\n";
constexpr const char* kColumnsLine =
    "             \t---------- Symmedian point ---\t--- Final solution ---\t--- Supplementary "
    "Information -----\n";
// The five writes of one point.
const std::string kPointRecord =
    std::string("Point No.%7d\t%18.12lf\t%20.15lf\tLoop No.\t%5d\tof %5d;\n") +
    "      %5d views\t%18.12lf\t%20.15lf\tR.E.(0)\t%.6e\tK.lc(0)\t%.6e" + "\t%s\n" +
    " %.12lf s\t%18.12lf\t%20.15lf\tR.E.(f)\t%.6e\tK.lc(f)\t%.6e" + "\t%s\n";
constexpr const char* kResultsSummary[] = {
    "\n",
    "Total symmedian point reprojection error is \n%20.20lf: \n",
    "Maximum symmedian point K_{LC} distance is \n%.15E: \n",
    "Hard case number, local solution number in total point number: %d-%d-%d \n",
    "\nTotal final reprojection error is \n%20.20lf: \n",
    "Maximum final K_{LC} distance is \n%.15E: \n",
    "Solvable case, global solution number in total number: %d-%d-%d \n",
    "Time on loading: %lf seconds; on indexing: %lf seconds; on pretreating: %lf seconds; on "
    "waiting: %lf "
    "seconds;\n",
    "Time on Triangulating: %20.20lf seconds(with data importing, exporting and displaying "
    "excluded)\n",
};

// The summary file.
constexpr const char* kSummaryHead[] = {
    "%s(Algorithm used); report creation date: %s\n",
    "%20.15lf(final)\t%20.15lf(symm)\t<--Total reprojection error; Eigen C++ version %d.%d.%d; "
    "Hard case-local "
    "solutions: %d-%d-%d\n",
    "%.15E (Maximum final K_{LC} distance);  %d jacobians are Not positive definite\n",
    "Time: %lf s(loading)-%lf s(indexing)-%lf s(pretreating)-%lf s(waiting);\n",
    "%20.20lf seconds(Triangulation time with importing, exporting and displaying excluded);\n",
    "%d-%d-%d (cameraNum-pointNum-imageCoordinates); %d (maxViewNum); epsilon is %.16e\n",
    "\nNo.\tViewNo.\t  Time(seconds) \t Loops\t Reproj.error(final) \t K_{LC}(final) \t     "
    "Reproj.error(symm) \t "
    "K_{LC}(symm)\t     Curvature rho_f\tgamma_f\t     Curvature rho_m\tgamma_m\n",
};
constexpr const char* kSummaryRow =
    "%4d\t%2d\t%20.18lf\t%4d\t%20.18lf\t%.18e\t%10.10lf\t%10.10e\t %lf\t%lf\t%lf\t%lf\n";

// The .lc triangulator's reports.
constexpr const char* kSennicHeader[] = {
    "Supporting material to Tessmark; created at: %s\n",
    "Algorithm: %s; Eigen C++ version: %d.%d.%d\n",
    "%d-%d (allCameraNum-pointNum); %d (max camera number);  epsilon used is %.16e \n",
};
constexpr const char* kSennicNoteLine =
    "NOTE: There is a brief summary at the bottom and a separate time consumption table TXT "
    "file.\n";
constexpr const char* kSennicColumnsLine =
    "             \t----- Symmedian point ---\t--- Final solution ---\t--- Supplementary "
    "Information -----\n";
const std::string kSennicPointRecord =
    std::string("Point  No.%7d\t%20.12lf\t%20.15lf\tLoop No.\t%5d\tof %5d; \n") +
    "      %5d views\t%20.12lf\t%20.15lf\tR.E.(0)\t%.6e\tK.lc(0)\t%.6e" + "\t%s\n" +
    " %.12lf s\t%20.12lf\t%20.15lf\tR.E.(f)\t%.6e\tK.lc(f)\t%.6e" + "\t%s\n";
const std::string kSennicResultsSummary[] = {
    std::string(92, '-') + "\n",
    "Total symmedian point reprojection error is \n%20.20lf: \n",
    "Maximum symmedian point K_{LC} distance is \n%.15E: \n",
    "Hard case number %d and solvable case number %d of all %d points; \n",
    "\nTotal final reprojection error is \n%20.20lf: \n",
    "Maximum final K_{LC} distance is \n%.15E: \n",
    "Global solution number %d and possible local solution number %d of all %d points; \n",
    "Total time consumption is %20.20lf seconds(with data importing, exporting and displaying "
    "excluded)\n",
    "Time on loading - indexing - pretreating: %.12lf - %.12lf - %.15lf seconds\n",
};
constexpr const char* kSennicSummaryHead[] = {
    "Algorithm: %s; report created at: %s\n",
    "%12.10lf(final)\t%12.10lf(symm) <--Total reprojection errors; Eigen C++ version %d.%d.%d;\n",
    "%d-%d <--(allCameraNum-pointNum); %d (max camera number); HardCase and local solution "
    "numbers: %d-%d-%d \nMax final K_{LC}: %.15E,  %d jacobians are Not positive definite\n",
    "%15.12lf seconds <--(Triangulation time with "
    "importing-indexing-pretreating(%.8lf-%.8lf-%.10lf), "
    "exporting and displaying excluded); epsilon: %.16e\n",
    "\n\nNo.\tViewNo.\t   Time(seconds) \t Loops\tReproj.error(final) \t  K_{LC}(final) \t   "
    "Reproj.error(symm)\t K_{LC}(symm) \t   Curvature rho_f\tgamma_f\t   Curvature "
    "rho_m\tgamma_m\n",
};

std::string at(const ReportScanner& scanner, const std::string& what) {
  return "line " + std::to_string(scanner.line()) + ": " + what;
}

// Matches each format in turn, keeping every format's fields.
template <typename Formats>
std::string scanAll(ReportScanner& scanner, const Formats& formats,
                    std::vector<std::vector<std::string>>& fields) {
  for (const auto& format : formats) {
    std::vector<std::string> f;
    if (!scanner.next(format, &f)) return scanner.error();
    fields.push_back(std::move(f));
  }
  return {};
}

// The point records of report.pointNum points, in order.
std::string parsePointRecords(ReportScanner& scanner, const std::string& format,
                              ResultsReport& report) {
  std::vector<std::string> f;
  for (int p = 0; p < report.pointNum; ++p) {
    if (!scanner.next(format, &f)) return scanner.error();
    PointRecord record;
    record.number = fieldInt(f[0]);
    record.x_m[0] = fieldValue(f[1]);
    record.x_f[0] = fieldValue(f[2]);
    record.loops = fieldInt(f[3]);
    record.loopCap = fieldInt(f[4]);
    record.views = fieldInt(f[5]);
    record.x_m[1] = fieldValue(f[6]);
    record.x_f[1] = fieldValue(f[7]);
    record.reprojError_m = fieldValue(f[8]);
    record.klc_m = fieldValue(f[9]);
    record.solvable = f[10];
    record.seconds = fieldValue(f[11]);
    record.x_m[2] = fieldValue(f[12]);
    record.x_f[2] = fieldValue(f[13]);
    record.reprojError_f = fieldValue(f[14]);
    record.klc_f = fieldValue(f[15]);
    record.global = f[16];
    record.text = joinedWithout(f, 11);
    if (record.number != p + 1) {
      return at(scanner, "point record " + std::to_string(record.number) + " where " +
                             std::to_string(p + 1) + " belongs");
    }
    if (record.solvable != "Solvable" && record.solvable != "Hard case") {
      return at(scanner, "start verdict '" + record.solvable + "'");
    }
    if (record.global != "Global" && record.global != "Local") {
      return at(scanner, "final verdict '" + record.global + "'");
    }
    report.points.push_back(std::move(record));
  }
  return {};
}

// The time-consumption table's rows of report.pointNum points, in order.
std::string parseTableRows(ReportScanner& scanner, SummaryReport& report) {
  std::vector<std::string> f;
  for (int p = 0; p < report.pointNum; ++p) {
    if (!scanner.next(kSummaryRow, &f)) return scanner.error();
    SummaryRow row;
    row.number = fieldInt(f[0]);
    row.views = fieldInt(f[1]);
    row.seconds = fieldValue(f[2]);
    row.loops = fieldInt(f[3]);
    row.reprojError_f = fieldValue(f[4]);
    row.klc_f = fieldValue(f[5]);
    row.reprojError_m = fieldValue(f[6]);
    row.klc_m = fieldValue(f[7]);
    row.rho_f = fieldValue(f[8]);
    row.gamma_f = fieldValue(f[9]);
    row.rho_m = fieldValue(f[10]);
    row.gamma_m = fieldValue(f[11]);
    row.text = joinedWithout(f, 2);
    if (row.number != p + 1) {
      return at(scanner, "table row " + std::to_string(row.number) + " where " +
                             std::to_string(p + 1) + " belongs");
    }
    report.rows.push_back(std::move(row));
  }
  return {};
}

}  // namespace

FormatMatch matchFormat(std::string_view format, std::string_view text) {
  FormatMatch match;
  match.matched = matchSegments(segmentsOf(format), 0, text, 0, match.fields, match.length);
  if (!match.matched) match.fields.clear();
  return match;
}

ReportScanner::ReportScanner(std::string text) : text_(std::move(text)) {}

bool ReportScanner::next(std::string_view format, std::vector<std::string>* fields) {
  FormatMatch match = matchFormat(format, std::string_view(text_).substr(position_));
  if (!match.matched) {
    // Show as many lines of the text as the format spans.
    const auto lines = std::max<std::ptrdiff_t>(1, std::count(format.begin(), format.end(), '\n'));
    std::size_t end = position_;
    for (std::ptrdiff_t i = 0; i < lines && end < text_.size(); ++i) {
      end = std::min(text_.find('\n', end), text_.size() - 1) + 1;
    }
    error_ =
        at(*this, "expected \"" + visible(format) + "\", found \"" +
                      visible(std::string_view(text_).substr(position_, end - position_)) + "\"");
    return false;
  }
  position_ += match.length;
  if (fields != nullptr) *fields = std::move(match.fields);
  return true;
}

int ReportScanner::line() const {
  return 1 + static_cast<int>(std::count(
                 text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(position_), '\n'));
}

double fieldValue(const std::string& field) {
  char* end = nullptr;
  const double value = std::strtod(field.c_str(), &end);
  if (field.empty() || end != field.c_str() + field.size())
    ADD_FAILURE() << "not a number: '" << field << "'";
  return value;
}

int fieldInt(const std::string& field) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(field.c_str(), &end, 10);
  if (field.empty() || end != field.c_str() + field.size() || errno != 0) {
    ADD_FAILURE() << "not an integer: '" << field << "'";
  }
  return static_cast<int>(value);
}

std::string parseResultsReport(const std::string& text, ResultsReport& report) {
  ReportScanner scanner(text);
  std::vector<std::string> f;
  if (!scanner.next(kCreatedAtLine, &f)) return scanner.error();
  report.createdAt = f[0];
  if (!scanner.next(kDataLine, &f)) return scanner.error();
  report.cameraNum = fieldInt(f[0]);
  report.pointNum = fieldInt(f[1]);
  report.imageCoordinates = fieldInt(f[2]);
  report.maxViewNum = fieldInt(f[3]);
  report.eigenVersion = f[4] + "." + f[5] + "." + f[6];
  report.algorithmName = f[7];
  if (!scanner.next(kCountsLine, &f)) return scanner.error();
  if (fieldInt(f[0]) != report.cameraNum || fieldInt(f[1]) != report.pointNum ||
      fieldInt(f[2]) != report.imageCoordinates) {
    return at(scanner, "the counts differ from the \"Data\" line");
  }
  report.epsilon = fieldValue(f[3]);
  for (const std::string& format :
       {std::string(kNoteLine), kRule, std::string(kColumnsLine), kRule}) {
    if (!scanner.next(format)) return scanner.error();
  }

  if (std::string error = parsePointRecords(scanner, kPointRecord, report); !error.empty()) {
    return error;
  }

  std::vector<std::vector<std::string>> block;
  if (std::string error = scanAll(scanner, kResultsSummary, block); !error.empty()) return error;
  report.sumReprojError_m = fieldValue(block[1][0]);
  report.maxKlc_m = fieldValue(block[2][0]);
  report.hardCaseCount = fieldInt(block[3][0]);
  report.localSolutionCount = fieldInt(block[3][1]);
  report.sumReprojError_f = fieldValue(block[4][0]);
  report.maxKlc_f = fieldValue(block[5][0]);
  report.solvableCount = fieldInt(block[6][0]);
  report.globalSolutionCount = fieldInt(block[6][1]);
  report.loadingSeconds = fieldValue(block[7][0]);
  report.indexingSeconds = fieldValue(block[7][1]);
  report.pretreatingSeconds = fieldValue(block[7][2]);
  report.triangulatingSeconds = fieldValue(block[8][0]);
  if (fieldInt(block[3][2]) != report.pointNum || fieldInt(block[6][2]) != report.pointNum) {
    return "the summary block's point count differs from the header's";
  }
  if (!scanner.atEnd()) return at(scanner, "text after the summary block");
  return {};
}

std::string parseSummaryReport(const std::string& text, SummaryReport& report) {
  ReportScanner scanner(text);
  std::vector<std::vector<std::string>> head;
  if (std::string error = scanAll(scanner, kSummaryHead, head); !error.empty()) return error;
  report.algorithmName = head[0][0];
  report.createdAt = head[0][1];
  report.sumReprojError_f = fieldValue(head[1][0]);
  report.sumReprojError_m = fieldValue(head[1][1]);
  report.eigenVersion = head[1][2] + "." + head[1][3] + "." + head[1][4];
  report.hardCaseCount = fieldInt(head[1][5]);
  report.localSolutionCount = fieldInt(head[1][6]);
  report.pointNum = fieldInt(head[1][7]);
  report.maxKlc_f = fieldValue(head[2][0]);
  report.notPositiveDefiniteCount = fieldInt(head[2][1]);
  report.cameraNum = fieldInt(head[5][0]);
  report.imageCoordinates = fieldInt(head[5][2]);
  report.maxViewNum = fieldInt(head[5][3]);
  report.epsilon = fieldValue(head[5][4]);
  if (fieldInt(head[5][1]) != report.pointNum) return "the two point counts of the summary differ";

  if (std::string error = parseTableRows(scanner, report); !error.empty()) return error;
  if (!scanner.atEnd()) return at(scanner, "text after the last table row");
  return {};
}

std::string parseSennicResultsReport(const std::string& text, ResultsReport& report) {
  ReportScanner scanner(text);
  std::vector<std::vector<std::string>> header;
  if (std::string error = scanAll(scanner, kSennicHeader, header); !error.empty()) return error;
  report.createdAt = header[0][0];
  report.algorithmName = header[1][0];
  report.eigenVersion = header[1][1] + "." + header[1][2] + "." + header[1][3];
  report.cameraNum = fieldInt(header[2][0]);
  report.pointNum = fieldInt(header[2][1]);
  report.maxViewNum = fieldInt(header[2][2]);
  report.epsilon = fieldValue(header[2][3]);
  for (const std::string& format :
       {std::string(kSennicNoteLine), kRule, std::string(kSennicColumnsLine), kRule}) {
    if (!scanner.next(format)) return scanner.error();
  }

  if (std::string error = parsePointRecords(scanner, kSennicPointRecord, report); !error.empty()) {
    return error;
  }

  std::vector<std::vector<std::string>> block;
  if (std::string error = scanAll(scanner, kSennicResultsSummary, block); !error.empty()) {
    return error;
  }
  report.sumReprojError_m = fieldValue(block[1][0]);
  report.maxKlc_m = fieldValue(block[2][0]);
  report.hardCaseCount = fieldInt(block[3][0]);
  report.solvableCount = fieldInt(block[3][1]);
  report.sumReprojError_f = fieldValue(block[4][0]);
  report.maxKlc_f = fieldValue(block[5][0]);
  report.globalSolutionCount = fieldInt(block[6][0]);
  report.localSolutionCount = fieldInt(block[6][1]);
  report.triangulatingSeconds = fieldValue(block[7][0]);
  report.loadingSeconds = fieldValue(block[8][0]);
  report.indexingSeconds = fieldValue(block[8][1]);
  report.pretreatingSeconds = fieldValue(block[8][2]);
  if (fieldInt(block[3][2]) != report.pointNum || fieldInt(block[6][2]) != report.pointNum) {
    return "the summary block's point count differs from the header's";
  }
  if (!scanner.atEnd()) return at(scanner, "text after the summary block");
  return {};
}

std::string parseSennicSummaryReport(const std::string& text, SummaryReport& report) {
  ReportScanner scanner(text);
  std::vector<std::vector<std::string>> head;
  if (std::string error = scanAll(scanner, kSennicSummaryHead, head); !error.empty()) return error;
  report.algorithmName = head[0][0];
  report.createdAt = head[0][1];
  report.sumReprojError_f = fieldValue(head[1][0]);
  report.sumReprojError_m = fieldValue(head[1][1]);
  report.eigenVersion = head[1][2] + "." + head[1][3] + "." + head[1][4];
  report.cameraNum = fieldInt(head[2][0]);
  report.pointNum = fieldInt(head[2][1]);
  report.maxViewNum = fieldInt(head[2][2]);
  report.hardCaseCount = fieldInt(head[2][3]);
  report.localSolutionCount = fieldInt(head[2][4]);
  report.maxKlc_f = fieldValue(head[2][6]);
  report.notPositiveDefiniteCount = fieldInt(head[2][7]);
  report.epsilon = fieldValue(head[3][4]);
  if (fieldInt(head[2][5]) != report.pointNum) return "the two point counts of the summary differ";

  if (std::string error = parseTableRows(scanner, report); !error.empty()) return error;
  if (!scanner.atEnd()) return at(scanner, "text after the last table row");
  return {};
}

}  // namespace tessmark::testing
