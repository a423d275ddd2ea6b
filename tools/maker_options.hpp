#pragma once
// The command line both synthetic data makers share:
//   MAKER OUTPUT [--cameras N] [--points N] [--noise PIXELS] [--seed N] [--hard]
//   MAKER --help
// (--hard only where the maker offers a hard scene).

#include <string>

namespace tessmark::synthetic {

// The makers' exit statuses.
inline constexpr int kMakerExitWritten = 0;
inline constexpr int kMakerExitUnwritable = 1;  // OUTPUT could not be created or written
inline constexpr int kMakerExitUsage = 2;

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

enum class MakerRequest { make, help, wrongCommandLine };

// Fills `options` (which holds the maker's defaults) from the arguments after the program name.
// help: -h or --help anywhere. wrongCommandLine: anything else than the options above, a camera
// count below the maker's fewestCameras, a negative count or noise, --hard where the maker offers
// no hard scene, or a missing OUTPUT.
MakerRequest parseMakerOptions(int argc, char** argv, const MakerDescription& maker,
                               MakerOptions& options);

// The one usage line, for a wrong command line.
std::string makerUsageLine(const MakerDescription& maker);

// --help: usage, what the maker writes, the options with their defaults, the exit statuses.
std::string makerHelp(const MakerDescription& maker);

// The command line of a maker's main: fills `options` and returns -1 to go on, or prints the help
// (standard output) or the usage line (standard error) and returns the exit status, 0 or 2.
int takeMakerCommandLine(int argc, char** argv, const MakerDescription& maker,
                         MakerOptions& options);

}  // namespace tessmark::synthetic
