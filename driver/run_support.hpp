#pragma once
// Pieces of a run that both programs share: failure reports, report-file handling and the progress
// display.

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>

#include "console/console.hpp"

namespace tessmark {

// Exit statuses. The data-file ones are negative, as the shell sees them 129 and 128.
inline constexpr int kExitNoAlgorithm = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitReportFile = 3;
inline constexpr int kExitOutOfMemory = 4;
inline constexpr int kExitConsoleLost = 5;
inline constexpr int kExitMalformedData = -128;
inline constexpr int kExitCannotOpenData = -127;

// A piece of console text in one colour: with defaultBackground the terminal's own background is
// restored together with the text colour (on standard output), otherwise the background is left as
// it is.
struct ColoredText {
  Color color;
  bool defaultBackground;
  const char* text;
};
void writeColoredText(std::ostream& out, std::span<const ColoredText> pieces);

// The failure sequence: `headline` on the error stream in red and `detail`, when given, in white,
// then white on the default background, the pause prompt; returns `status` for the caller to exit
// with.
int reportFailure(const std::string& headline, const std::string& detail, int status);
// The same with a headline of coloured pieces.
int reportFailure(std::span<const ColoredText> headline, const std::string& detail, int status);

// Whether standard output lost text: a write to it failed (its reader closed it, SIGPIPE being
// ignored; a full disk behind a redirect). Flushes it first.
bool consoleLost();
// Says so on the error stream, with where the complete reports are, and returns kExitConsoleLost.
int reportConsoleLost(const std::string& program, const std::string& resultsPath,
                      const std::string& summaryPath);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using ReportFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a report file for appending, with a large buffer. Returns null and fills `error` with the
// path and the system's reason when it cannot be created.
ReportFile openReportFile(const std::string& path, std::string& error);
// Flushes and closes; false with `error` filled when anything written was lost.
bool closeReportFile(ReportFile file, const std::string& path, std::string& error);

// The report's path: the name inside `outputDir`, or the bare name when it is empty.
std::string reportPath(const std::string& outputDir, const std::string& name);

// The key as it goes into the report file names: a printable ASCII character (the blank included)
// other than '/' as it is; any other byte (a control character such as Enter or Escape, '/', a byte
// above 127) as "x" and its two hexadecimal digits ("x0A" for Enter), so that a name is always safe
// to use.
std::string fileNameKey(unsigned char key);

// Why reports cannot be written into `outputDir` (the current directory when empty), or "" when
// they can: it must be an existing folder the program may create files in.
std::string outputDirProblem(const std::string& outputDir);

// Whether point p (0-based) of pointNum gets a progress line: the first, every interval-th and the
// last.
inline bool showsProgress(int p, int pointNum, int interval) {
  return p == 0 || (p + 1) % interval == 0 || p + 1 == pointNum;
}

}  // namespace tessmark
