// vorlant: the "Bundle Adjustment in the Large" triangulator.
#include <span>

#include "driver/run.hpp"
#include "driver/vorlant.hpp"

int main(int argc, char** argv) {
  return tessmark::programMain(
      tessmark::vorlantProgram(),
      std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
}
