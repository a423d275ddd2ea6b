#pragma once
// The command line both synthetic data makers share:
//   MAKER OUTPUT [--cameras N] [--points N] [--noise PIXELS] [--seed N] [--hard]
//   MAKER --help
// (--hard only where the maker offers a hard scene).

#include <charconv>
#include <cstdio>
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

// What a maker is, for its --help.
struct MakerDescription {
  const char* name;                 // "make_bal_problem"
  const char* summary;              // what it writes, a few lines ending in a line end
  int fewestCameras;                // the smallest --cameras it takes
  MakerOptions defaults;            // the counts, noise and seed without options
  const char* cameraShape;          // how the cameras stand, for --cameras ("on a ring")
  const char* hardScene = nullptr;  // what --hard writes, one help line; null: no --hard
};

inline bool parseNumber(std::string_view text, auto& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

enum class MakerRequest { make, help, wrongCommandLine };

// Fills `options` (which holds the maker's defaults) from the arguments after the program name.
// help: -h or --help anywhere. wrongCommandLine: anything else than the options above, a camera
// count below `fewestCameras`, a negative count or noise, --hard where `offersHard` is false, or a
// missing OUTPUT.
inline MakerRequest parseMakerOptions(int argc, char** argv, int fewestCameras,
                                      MakerOptions& options, bool offersHard = false) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-h" || argument == "--help") return MakerRequest::help;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!argument.starts_with("--")) {
      options.output = argument;
      continue;
    }
    if (argument == "--hard") {
      if (!offersHard) return MakerRequest::wrongCommandLine;
      options.hard = true;
      continue;
    }
    if (i + 1 >= argc) return MakerRequest::wrongCommandLine;
    const std::string_view value = argv[++i];
    bool ok = false;
    if (argument == "--cameras")
      ok = parseNumber(value, options.cameras) && options.cameras >= fewestCameras;
    if (argument == "--points") ok = parseNumber(value, options.points) && options.points >= 0;
    if (argument == "--noise") ok = parseNumber(value, options.noise) && options.noise >= 0.0;
    if (argument == "--seed") ok = parseNumber(value, options.seed);
    if (!ok) return MakerRequest::wrongCommandLine;
  }
  return options.output.empty() ? MakerRequest::wrongCommandLine : MakerRequest::make;
}

// The one usage line, for a wrong command line.
inline std::string makerUsageLine(const MakerDescription& maker) {
  return std::string("usage: ") + maker.name +
         " OUTPUT [--cameras N (>= " + std::to_string(maker.fewestCameras) +
         ")] [--points N] [--noise PIXELS] [--seed N]" + (maker.hardScene ? " [--hard]" : "") +
         "\nTry '" + maker.name + " --help' for more information.\n";
}

// --help: usage, what the maker writes, the options with their defaults, the exit statuses.
inline std::string makerHelp(const MakerDescription& maker) {
  char noise[32];
  std::snprintf(noise, sizeof noise, "%g", maker.defaults.noise);
  const std::string hard =
      maker.hardScene ? std::string("  --hard          ") + maker.hardScene + "\n" : std::string();
  return std::string("Usage: ") + maker.name +
         " OUTPUT [--cameras N] [--points N] [--noise PIXELS] [--seed N]" +
         (maker.hardScene ? " [--hard]" : "") + "\n\n" + maker.summary +
         "\nOptions:\n"
         "  --cameras N     cameras " +
         maker.cameraShape + ", at least " + std::to_string(maker.fewestCameras) +
         " (default: " + std::to_string(maker.defaults.cameras) +
         ")\n"
         "  --points N      points (default: " +
         std::to_string(maker.defaults.points) +
         ")\n"
         "  --noise PIXELS  standard deviation of the Gaussian pixel noise, 0 for none (default: " +
         noise +
         ")\n"
         "  --seed N        seed of the random numbers (default: " +
         std::to_string(maker.defaults.seed) + ")\n" + hard +
         "  -h, --help      show this text\n\n"
         "Exit status:\n"
         "  0  OUTPUT was written\n"
         "  1  OUTPUT could not be created or written\n"
         "  2  the command line is wrong\n";
}

// The command line of a maker's main: fills `options` and returns -1 to go on, or prints the help
// (standard output) or the usage line (standard error) and returns the exit status, 0 or 2.
inline int takeMakerCommandLine(int argc, char** argv, const MakerDescription& maker,
                                MakerOptions& options) {
  options = maker.defaults;
  switch (parseMakerOptions(argc, argv, maker.fewestCameras, options, maker.hardScene != nullptr)) {
    case MakerRequest::make:
      return -1;
    case MakerRequest::help:
      std::fputs(makerHelp(maker).c_str(), stdout);
      return 0;
    case MakerRequest::wrongCommandLine:
      break;
  }
  std::fputs(makerUsageLine(maker).c_str(), stderr);
  return 2;
}

}  // namespace tessmark::synthetic
