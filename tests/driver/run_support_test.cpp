#include "driver/run_support.hpp"

#include <climits>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/vorlant.hpp"
#include "tests/support/child_process.hpp"

namespace tessmark {
namespace {

using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;

TEST(ProgressLine, FieldsAndPercentage) {
  struct Case {
    int p, n, pointNum;
    const char* line;
  };
  const Case cases[] = {
      {0, 2, 7776, "   Point No.       1:    with    2 views:   0.01286% done.\n"},
      {499, 5, 7776, "   Point No.     500:    with    5 views:   6.43004% done.\n"},
      {7775, 12, 7776, "   Point No.    7776:    with   12 views: 100.00000% done.\n"},
      // A single point is both the first and the last.
      {0, 3, 1, "   Point No.       1:    with    3 views: 100.00000% done.\n"},
      // Wider values push the line out instead of being cut.
      {99999999, 123456, 100000000,
       "   Point No.100000000:    with123456 views: 100.00000% done.\n"},
      // (p + 1) * 100 does not fit in an int here.
      {INT_MAX - 1, 2, INT_MAX, "   Point No.2147483647:    with    2 views: 100.00000% done.\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    writeVorlantProgressLine(out, c.p, c.n, c.pointNum);
    EXPECT_EQ(out.str(), c.line);
  }
}

TEST(ProgressLine, LeavesTheStreamInFixedNotationWithFiveDecimals) {
  std::ostringstream out;
  out << std::scientific;
  writeVorlantProgressLine(out, 0, 2, 10);
  out.str("");
  out << 0.25 << " " << 1234.5;
  EXPECT_EQ(out.str(), "0.25000 1234.50000");
}

TEST(ShowsProgress, FirstEveryIntervalThAndLast) {
  std::vector<int> expected{1};
  for (int point = 500; point <= 7500; point += 500) expected.push_back(point);
  expected.push_back(7776);
  std::vector<int> shown;
  for (int p = 0; p < 7776; ++p) {
    if (showsProgress(p, 7776, 500)) shown.push_back(p + 1);
  }
  EXPECT_EQ(shown, expected);

  shown.clear();
  for (int p = 0; p < 1000; ++p) {
    if (showsProgress(p, 1000, 500)) shown.push_back(p + 1);
  }
  EXPECT_EQ(shown,
            (std::vector<int>{1, 500, 1000}));  // the last point once, though also a multiple
  EXPECT_TRUE(showsProgress(0, 1, 500));
}

TEST(ReportFile, OpeningAppendsAndNeverTruncates) {
  TemporaryFolder folder;
  const std::string path = (folder.path() / "report.txt").string();
  writeFile(path, "earlier run\n");
  for (const char* line : {"this run\n", "next run\n"}) {
    std::string error;
    ReportFile file = openReportFile(path, error);
    ASSERT_TRUE(file) << error;
    std::fputs(line, file.get());
    ASSERT_TRUE(closeReportFile(std::move(file), path, error)) << error;
  }
  EXPECT_EQ(readFile(path), "earlier run\nthis run\nnext run\n");
}

TEST(ReportFile, OpenFailureNamesThePathAndTheReason) {
  TemporaryFolder folder;
  const std::string path = (folder.path() / "missing" / "report.txt").string();
  std::string error;
  EXPECT_FALSE(openReportFile(path, error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(ReportFile, LostWritesAreReportedAtClose) {
  // Small: the data are lost when the buffer is flushed at close; large: already while writing.
  for (const std::size_t size : {std::size_t{10}, std::size_t{1} << 20}) {
    SCOPED_TRACE(size);
    std::string error;
    ReportFile file = openReportFile("/dev/full", error);
    ASSERT_TRUE(file) << error;
    const std::string text(size, 'x');
    std::fwrite(text.data(), 1, text.size(), file.get());
    EXPECT_FALSE(closeReportFile(std::move(file), "/dev/full", error));
    EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
  }
}

TEST(ReportPath, JoinsTheOutputFolderAndTheName) {
  EXPECT_EQ(reportPath("", "a.txt"), "a.txt");
  EXPECT_EQ(reportPath("out", "a.txt"), "out/a.txt");
  EXPECT_EQ(reportPath("out/", "a.txt"), "out/a.txt");
  EXPECT_EQ(reportPath("/", "a.txt"), "/a.txt");
}

TEST(FileNameKey, PrintableKeysAsTypedEveryOtherByteAsItsHexDigits) {
  struct Case {
    unsigned char key;
    const char* inName;
  };
  const Case cases[] = {{'0', "0"},   {'q', "q"},    {'~', "~"},    {' ', " "},
                        {'/', "x2F"}, {'\n', "x0A"}, {'\r', "x0D"}, {0x1b, "x1B"},
                        {0, "x00"},   {0x7f, "x7F"}, {0x80, "x80"}, {0xff, "xFF"}};
  for (const Case& c : cases) EXPECT_EQ(fileNameKey(c.key), c.inName) << int{c.key};
}

TEST(OutputDirProblem, AnExistingWritableFolderOnly) {
  const TemporaryFolder folder;
  writeFile(folder.path() / "file.txt", "x");
  EXPECT_EQ(outputDirProblem(folder.path().string()), "");
  EXPECT_EQ(outputDirProblem(""), "");  // the current directory
  EXPECT_EQ(outputDirProblem((folder.path() / "missing").string()), "No such file or directory");
  EXPECT_EQ(outputDirProblem((folder.path() / "file.txt").string()), "not a folder");
}

}  // namespace
}  // namespace tessmark
