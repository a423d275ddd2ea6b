#include "driver/run_support.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "console/console.hpp"

namespace tessmark {

void writeColoredText(std::ostream& out, std::span<const ColoredText> pieces) {
  for (const ColoredText& piece : pieces) {
    if (piece.defaultBackground) {
      setColors(piece.color, consoleColors().defaultBackground);
    } else {
      out << setTextColor(piece.color);
    }
    out << piece.text;
  }
}

int reportFailure(std::span<const ColoredText> headline, const std::string& detail, int status) {
  std::cerr.flush();
  writeColoredText(std::cerr, headline);
  std::cerr.flush();
  if (!detail.empty()) std::cerr << setTextColor(Color::white) << detail << std::endl;
  setColors(Color::white, consoleColors().defaultBackground);
  pause();
  return status;
}

int reportFailure(const std::string& headline, const std::string& detail, int status) {
  const std::string line = headline + "\n";
  const ColoredText pieces[] = {{Color::red, false, line.c_str()}};
  return reportFailure(pieces, detail, status);
}

bool consoleLost() {
  std::cout.flush();
  const bool flushed = std::fflush(stdout) == 0;
  return !flushed || std::cout.bad() || std::ferror(stdout) != 0;
}

int reportConsoleLost(const std::string& program, const std::string& resultsPath,
                      const std::string& summaryPath) {
  std::cerr << program
            << ": standard output could not be written (closed by its reader, or the disk is "
               "full), so the console text is incomplete; the run went on, and both reports are "
               "complete:\n  "
            << resultsPath << "\n  " << summaryPath << std::endl;
  return kExitConsoleLost;
}

ReportFile openReportFile(const std::string& path, std::string& error) {
  ReportFile file(std::fopen(path.c_str(), "a"));
  if (!file) {
    error = "cannot create report file '" + path + "': " + std::strerror(errno);
    return nullptr;
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 16);
  return file;
}

bool closeReportFile(ReportFile file, const std::string& path, std::string& error) {
  const bool failed = std::ferror(file.get()) != 0;
  errno = 0;
  const bool closeFailed = std::fclose(file.release()) != 0;
  if (failed || closeFailed) {
    error = "cannot write report file '" + path + "'" +
            (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
    return false;
  }
  return true;
}

std::string reportPath(const std::string& outputDir, const std::string& name) {
  if (outputDir.empty()) return name;
  return outputDir.back() == '/' ? outputDir + name : outputDir + "/" + name;
}

std::string fileNameKey(unsigned char key) {
  if (key >= 0x20 && key < 0x7f && key != '/') return std::string(1, static_cast<char>(key));
  constexpr const char* kHex = "0123456789ABCDEF";
  return {'x', kHex[key >> 4], kHex[key & 0xf]};
}

std::string outputDirProblem(const std::string& outputDir) {
  const std::string folder = outputDir.empty() ? "." : outputDir;
  struct stat status {};
  if (stat(folder.c_str(), &status) != 0) return std::strerror(errno);
  if (!S_ISDIR(status.st_mode)) return "not a folder";
  if (access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  return "";
}

}  // namespace tessmark
