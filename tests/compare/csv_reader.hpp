#pragma once
// A strict reader of RFC 4180 text for the tests: every record ends in CRLF, fields are separated
// by commas, a quoted field may hold commas, CR, LF and doubled quotes. Fails the calling test on
// anything else.

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace tessmark::testing {

inline std::vector<std::vector<std::string>> parseCsv(std::string_view text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) {
          ADD_FAILURE() << "unterminated quoted field";
          return records;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n' &&
             text[i] != '"') {
        field += text[i++];
      }
    }
    record.push_back(std::move(field));
    field.clear();
    if (i < text.size() && text[i] == ',') {
      ++i;
    } else if (text.substr(i, 2) == "\r\n") {
      records.push_back(std::move(record));
      record.clear();
      i += 2;
    } else {
      ADD_FAILURE() << "expected a comma or CRLF at byte " << i;
      return records;
    }
  }
  EXPECT_TRUE(record.empty()) << "the last record does not end in CRLF";
  return records;
}

}  // namespace tessmark::testing
