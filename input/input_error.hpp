#pragma once
// The one error type of the readers: what went wrong, in which file, on which line, and what was
// expected there. The driver turns it into a console message and an exit status.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tessmark {

struct InputError : std::runtime_error {
  enum class Kind {
    cannotOpen,   // the file cannot be opened or read; detail is the system's reason
    wrongHeader,  // the first token of line 1 is not an accepted header ID
    malformed,    // any other violation of the format
  };

  InputError(Kind kind, std::string file, std::int64_t line, std::string detail);

  Kind kind;
  std::string file;
  std::int64_t line;   // 1-based; 0 when the error concerns the whole file
  std::string detail;  // for malformed input: "expected ..., found ..."
};

}  // namespace tessmark
