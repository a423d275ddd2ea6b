#include "tools/maker_options.hpp"

#include <charconv>
#include <cstdio>
#include <span>
#include <string_view>
#include <utility>

#include "console/option_table.hpp"

namespace tessmark::synthetic {

namespace {

constexpr ExitStatusLine kExitStatuses[] = {
    {kMakerExitWritten, "OUTPUT was written"},
    {kMakerExitUnwritable, "OUTPUT could not be created or written"},
    {kMakerExitUsage, "the command line is wrong"},
};

bool parseNumber(std::string_view text, auto& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// A value row whose setter only says whether the value was taken (every wrong line of a maker
// gets the one usage line).
OptionRow numberRow(std::string_view name, std::string synopsis, std::string label,
                    std::string help, auto take) {
  return {.kind = OptionRow::Kind::value,
          .name = name,
          .synopsis = std::move(synopsis),
          .label = std::move(label),
          .help = std::move(help),
          .set = [take](std::string_view value) -> std::string { return take(value) ? "" : "no"; }};
}

OptionTable makerTable(const MakerDescription& maker, MakerOptions& options) {
  using Kind = OptionRow::Kind;
  char noise[32];
  std::snprintf(noise, sizeof noise, "%g", maker.defaults.noise);
  OptionTable table;
  table.program = maker.name;
  table.attachedValues = false;
  table.optionPrefix = "--";
  table.showsFirst = true;
  table.wrong = [&maker](const std::string&) { return makerUsageLine(maker); };
  table.rows.push_back({.kind = Kind::positional,
                        .synopsis = "OUTPUT",
                        .set = [&options](std::string_view value) -> std::string {
                          options.output = value;
                          return "";
                        }});
  table.rows.push_back(numberRow("--cameras", "[--cameras N]", "--cameras N",
                                 std::string("cameras ") + maker.cameraShape + ", at least " +
                                     std::to_string(maker.fewestCameras) +
                                     " (default: " + std::to_string(maker.defaults.cameras) + ")",
                                 [&options, fewest = maker.fewestCameras](std::string_view value) {
                                   return parseNumber(value, options.cameras) &&
                                          options.cameras >= fewest;
                                 }));
  table.rows.push_back(numberRow("--points", "[--points N]", "--points N",
                                 "points (default: " + std::to_string(maker.defaults.points) + ")",
                                 [&options](std::string_view value) {
                                   return parseNumber(value, options.points) && options.points >= 0;
                                 }));
  table.rows.push_back(numberRow(
      "--noise", "[--noise PIXELS]", "--noise PIXELS",
      std::string("standard deviation of the Gaussian pixel noise, 0 for none (default: ") + noise +
          ")",
      [&options](std::string_view value) {
        return parseNumber(value, options.noise) && options.noise >= 0.0;
      }));
  table.rows.push_back(
      numberRow("--seed", "[--seed N]", "--seed N",
                "seed of the random numbers (default: " + std::to_string(maker.defaults.seed) + ")",
                [&options](std::string_view value) { return parseNumber(value, options.seed); }));
  if (maker.hardScene != nullptr) {
    table.rows.push_back({.kind = Kind::flag,
                          .name = "--hard",
                          .synopsis = "[--hard]",
                          .label = "--hard",
                          .help = maker.hardScene,
                          .set = [&options](std::string_view) -> std::string {
                            options.hard = true;
                            return "";
                          }});
  }
  table.rows.push_back(helpRow(false, [&maker] { return makerHelp(maker); }));
  return table;
}

}  // namespace

MakerRequest parseMakerOptions(int argc, char** argv, const MakerDescription& maker,
                               MakerOptions& options) {
  const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc - 1));
  switch (readOptions(makerTable(maker, options), arguments).outcome) {
    case OptionReading::Outcome::proceed:
      return options.output.empty() ? MakerRequest::wrongCommandLine : MakerRequest::make;
    case OptionReading::Outcome::show:
      return MakerRequest::help;
    case OptionReading::Outcome::wrong:
      break;
  }
  return MakerRequest::wrongCommandLine;
}

std::string makerUsageLine(const MakerDescription& maker) {
  return std::string("usage: ") + maker.name +
         " OUTPUT [--cameras N (>= " + std::to_string(maker.fewestCameras) +
         ")] [--points N] [--noise PIXELS] [--seed N]" + (maker.hardScene ? " [--hard]" : "") +
         "\nTry '" + maker.name + " --help' for more information.\n";
}

std::string makerHelp(const MakerDescription& maker) {
  MakerOptions options = maker.defaults;
  const OptionTable table = makerTable(maker, options);
  return usageLine(table) + "\n" + maker.summary + "\nOptions:\n" + optionList(table) + "\n" +
         exitStatusList(kExitStatuses);
}

int takeMakerCommandLine(int argc, char** argv, const MakerDescription& maker,
                         MakerOptions& options) {
  options = maker.defaults;
  switch (parseMakerOptions(argc, argv, maker, options)) {
    case MakerRequest::make:
      return -1;
    case MakerRequest::help:
      std::fputs(makerHelp(maker).c_str(), stdout);
      return kMakerExitWritten;
    case MakerRequest::wrongCommandLine:
      break;
  }
  std::fputs(makerUsageLine(maker).c_str(), stderr);
  return kMakerExitUsage;
}

}  // namespace tessmark::synthetic
