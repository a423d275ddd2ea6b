// sennic: the .lc multi-view triangulator.
#include <span>

#include "driver/run.hpp"
#include "driver/sennic.hpp"

int main(int argc, char** argv) {
  return tessmark::programMain(
      tessmark::sennicProgram(),
      std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
}
