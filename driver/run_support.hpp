#pragma once
// Pieces of a run that both programs share: failure reports, report-file handling and the progress
// display.

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>

namespace tessmark {

// Exit statuses beyond the data-file ones (-127, -128).
inline constexpr int kExitNoAlgorithm = 1;
inline constexpr int kExitReportFile = 3;
inline constexpr int kExitOutOfMemory = 4;

// The failure sequence: `headline` (and `detail`, when given) on the error stream in red, then
// white on the default background, the pause prompt; returns `status` for the caller to exit with.
int reportFailure(const std::string& headline, const std::string& detail, int status);

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

// Whether a key byte can be part of a POSIX file name ('/' and NUL cannot).
bool isFileNameByte(unsigned char key);

// Whether point p (0-based) of pointNum gets a progress line: the first, every interval-th and the
// last.
inline bool showsProgress(int p, int pointNum, int interval) {
  return p == 0 || (p + 1) % interval == 0 || p + 1 == pointNum;
}

// The BAL triangulator's progress line for point p (0-based) with n views: the point number in 8
// places, the view count in 5, the percentage in fixed notation, 10 places, 5 decimals. Leaves the
// stream in fixed notation with precision 5, as the closing summary expects.
void writeVorlantProgressLine(std::ostream& out, int p, int n, int pointNum);

}  // namespace tessmark
