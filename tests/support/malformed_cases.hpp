#pragma once
// The readers' malformed-input rules as tables, one case per rule: the text after the header line,
// the line the refusal names and what it says was expected. The readers' tests run them on text
// in memory; the library's loader runs them from files and must refuse them alike.

#include <string>
#include <vector>

namespace tessmark::testing {

struct MalformedCase {
  const char* rule;
  std::string text;  // after the header line (the whole text where a table says so)
  int line;
  std::string detail;
};

// After the BAL header-ID line.
const std::vector<MalformedCase>& balMalformedCases();
// A standard BAL file without the header-ID line, read by tokens: the whole text.
const std::vector<MalformedCase>& plainBalMalformedCases();
// After a .lc header-ID line.
const std::vector<MalformedCase>& lcMalformedCases();

// A .lc camera line whose entry k is `first` + k.
std::string lcCameraLine(double first);

}  // namespace tessmark::testing
