#include "console/command_line.hpp"

#include <Eigen/Core>

namespace tessmark {

namespace {

constexpr const char* kVersion = "0.1.0";

}  // namespace

std::string versionText(std::string_view name) {
  return std::string(name) + " (Tessmark) " + kVersion + ", Eigen " +
         std::to_string(EIGEN_WORLD_VERSION) + "." + std::to_string(EIGEN_MAJOR_VERSION) + "." +
         std::to_string(EIGEN_MINOR_VERSION) + "\n";
}

CommandLineArgument::CommandLineArgument(std::span<const char* const> arguments, std::size_t& index)
    : option(arguments[index]), arguments_(arguments), index_(index) {
  if (const auto equals = option.find('=');
      option.starts_with("--") && equals != std::string_view::npos) {
    inlineValue_ = option.substr(equals + 1);
    option = option.substr(0, equals);
    hasValue = true;
  }
}

bool CommandLineArgument::takeValue(std::string_view& value) {
  if (hasValue) {
    value = inlineValue_;
    return true;
  }
  if (index_ + 1 >= arguments_.size()) return false;
  value = arguments_[++index_];
  return true;
}

}  // namespace tessmark
