#include "console/time_stamp.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace tessmark {
namespace {

std::tm makeTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

struct StampCase {
  const char* name;
  std::tm time;
  const char* file;
  const char* report;
};

TEST(TimeStampTest, FormatsFileAndReportStamps) {
  const std::vector<StampCase> cases = {
      {"example", makeTime(2014, 2, 3, 9, 5, 7), "09_05_07-Feb03-2014", "09:05:07 Feb 03, 2014"},
      {"midnight", makeTime(2014, 2, 3, 0, 0, 0), "00_00_00-Feb03-2014", "00:00:00 Feb 03, 2014"},
      {"first of month", makeTime(2014, 3, 1, 12, 34, 56), "12_34_56-Mar01-2014",
       "12:34:56 Mar 01, 2014"},
      {"december", makeTime(2013, 12, 31, 23, 59, 59), "23_59_59-Dec31-2013",
       "23:59:59 Dec 31, 2013"},
      {"later year", makeTime(2026, 1, 10, 10, 20, 30), "10_20_30-Jan10-2026",
       "10:20:30 Jan 10, 2026"},
      {"leap second", makeTime(2016, 12, 31, 23, 59, 60), "23_59_60-Dec31-2016",
       "23:59:60 Dec 31, 2016"},
  };
  for (const StampCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fileStamp(c.time), c.file);
    EXPECT_EQ(reportStamp(c.time), c.report);
  }
}

TEST(TimeStampTest, NamesEveryMonthInEnglish) {
  std::string months;
  for (int month = 1; month <= 12; ++month) {
    months += fileStamp(makeTime(2014, month, 1, 0, 0, 0)).substr(9, 3);
  }
  EXPECT_EQ(months, "JanFebMarAprMayJunJulAugSepOctNovDec");
}

TEST(TimeStampTest, MonthOutsideTheYearIsWrittenAsQuestionMarks) {
  std::tm time = makeTime(2014, 1, 1, 0, 0, 0);
  time.tm_mon = 12;
  EXPECT_EQ(fileStamp(time), "00_00_00-???01-2014");
}

TEST(TimeStampTest, CurrentLocalTimeFollowsThePatterns) {
  EXPECT_TRUE(
      std::regex_match(fileStamp(), std::regex(R"(\d\d_\d\d_\d\d-[A-Z][a-z]{2}\d\d-\d{4})")));
  EXPECT_TRUE(
      std::regex_match(reportStamp(), std::regex(R"(\d\d:\d\d:\d\d [A-Z][a-z]{2} \d\d, \d{4})")));
}

}  // namespace
}  // namespace tessmark
