// tessmark-compare: every solver of a program's menu on one data set.
#include <span>

#include "compare/compare_tool.hpp"

int main(int argc, char** argv) {
  return tessmark::compareMain(
      std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
}
