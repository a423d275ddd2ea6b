#include "input/input_error.hpp"

#include <utility>

namespace tessmark {

namespace {

std::string message(const std::string& file, std::int64_t line, const std::string& detail) {
  if (line > 0) return file + ":" + std::to_string(line) + ": " + detail;
  return file + ": " + detail;
}

}  // namespace

InputError::InputError(Kind kind, std::string file, std::int64_t line, std::string detail)
    : std::runtime_error(message(file, line, detail)),
      kind(kind),
      file(std::move(file)),
      line(line),
      detail(std::move(detail)) {}

}  // namespace tessmark
