#include "console/time_stamp.hpp"

#include <time.h>

namespace tessmark {
namespace {

constexpr const char* kMonthAbbreviations[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Hour, minute, second and day in two digits. Written as numbers rather than looked up in a table
// of "00" to "59", so that a leap second (60) or any other out-of-range field stays harmless.
std::string twoDigits(int value) {
  std::string text = std::to_string(value);
  if (value >= 0 && value < 10) text.insert(0, 1, '0');
  return text;
}

std::string monthAbbreviation(int month) {
  return month >= 0 && month < 12 ? kMonthAbbreviations[month] : "???";
}

std::tm localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace

std::string fileStamp(const std::tm& time) {
  return twoDigits(time.tm_hour) + "_" + twoDigits(time.tm_min) + "_" + twoDigits(time.tm_sec) +
         "-" + monthAbbreviation(time.tm_mon) + twoDigits(time.tm_mday) + "-" +
         std::to_string(1900LL + time.tm_year);
}

std::string reportStamp(const std::tm& time) {
  return twoDigits(time.tm_hour) + ":" + twoDigits(time.tm_min) + ":" + twoDigits(time.tm_sec) +
         " " + monthAbbreviation(time.tm_mon) + " " + twoDigits(time.tm_mday) + ", " +
         std::to_string(1900LL + time.tm_year);
}

std::string fileStamp() { return fileStamp(localNow()); }

std::string reportStamp() { return reportStamp(localNow()); }

}  // namespace tessmark
