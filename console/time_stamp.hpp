#pragma once
// Local date and time as text for report file names and report headers.

#include <ctime>
#include <string>

namespace tessmark {

// hour "_" minute "_" second "-" month-abbreviation day "-" year, e.g. "09_05_07-Feb03-2014".
std::string fileStamp();
std::string fileStamp(const std::tm& time);

// hour ":" minute ":" second " " month-abbreviation " " day ", " year, e.g. "09:05:07 Feb 03, 2014".
std::string reportStamp();
std::string reportStamp(const std::tm& time);

}  // namespace tessmark
