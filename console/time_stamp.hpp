#pragma once
// Local date and time as text for report file names and report headers.
//
// Hour, minute, second and day of month are written in two digits, the month as its English
// abbreviation "Jan" to "Dec", the year as a plain decimal number. The overloads without arguments
// read the local time (localtime_r) once per call, so two successive calls may differ; the std::tm
// overloads take the fields as std::tm defines them (tm_mon 0..11, tm_year counted from 1900). A
// month outside 0..11 is written "???".

#include <ctime>
#include <string>

namespace tessmark {

// hour "_" minute "_" second "-" month-abbreviation day "-" year, e.g. "09_05_07-Feb03-2014".
std::string fileStamp();
std::string fileStamp(const std::tm& time);

// hour ":" minute ":" second " " month-abbreviation " " day ", " year,
// e.g. "09:05:07 Feb 03, 2014".
std::string reportStamp();
std::string reportStamp(const std::tm& time);

}  // namespace tessmark
