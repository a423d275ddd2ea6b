#pragma once
// The command line both synthetic data makers share:
//   MAKER OUTPUT [--cameras N] [--points N] [--noise PIXELS] [--seed N] [--hard]
// (--hard only where the maker offers a hard scene).

#include <charconv>
#include <string>
#include <string_view>

namespace tessmark::synthetic {

struct MakerOptions {
  std::string output;
  int cameras;
  int points;
  double noise = 0.5;  // standard deviation of the pixel noise
  unsigned seed = 2014;
  bool hard = false;  // the hard scene instead of the usual one
};

inline bool parseNumber(std::string_view text, auto& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// Fills `options` (whose counts hold the maker's defaults) from the arguments after the program
// name; false for anything else than the options above, a camera count below `fewestCameras`, a
// negative count or noise, --hard where `offersHard` is false, or a missing OUTPUT.
inline bool parseMakerOptions(int argc, char** argv, int fewestCameras, MakerOptions& options,
                              bool offersHard = false) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!argument.starts_with("--")) {
      options.output = argument;
      continue;
    }
    if (argument == "--hard") {
      if (!offersHard) return false;
      options.hard = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string_view value = argv[++i];
    bool ok = false;
    if (argument == "--cameras")
      ok = parseNumber(value, options.cameras) && options.cameras >= fewestCameras;
    if (argument == "--points") ok = parseNumber(value, options.points) && options.points >= 0;
    if (argument == "--noise") ok = parseNumber(value, options.noise) && options.noise >= 0.0;
    if (argument == "--seed") ok = parseNumber(value, options.seed);
    if (!ok) return false;
  }
  return !options.output.empty();
}

}  // namespace tessmark::synthetic
