#include "driver/run_support.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <iostream>

#include "console/console.hpp"

namespace tessmark {

int reportFailure(const std::string& headline, const std::string& detail, int status) {
  std::cerr.flush();
  std::cerr << setTextColor(12) << headline << std::endl;
  if (!detail.empty()) std::cerr << detail << std::endl;
  setColors(15, consoleColors().defaultBackground);
  pause();
  return status;
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

bool isFileNameByte(unsigned char key) { return key != '/' && key != '\0'; }

void writeVorlantProgressLine(std::ostream& out, int p, int n, int pointNum) {
  const double percent = static_cast<double>((std::int64_t{p} + 1) * 100) / pointNum;
  out << "   Point No." << std::setw(8) << p + 1 << ":    with" << std::setw(5) << n
      << " views:" << std::fixed << std::setprecision(5) << std::setw(10) << percent << "% done."
      << "\n";
}

}  // namespace tessmark
