#pragma once
// What the command lines of the programs and the comparison tool share: the reading of one
// argument and the --version text.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace tessmark {

// One argument as the command-line parsers take it: "--name=value" splits at its first '=' into the
// option and its value; any other argument is the option alone.
class CommandLineArgument {
 public:
  // arguments[index]; takeValue may move `index` on to the argument it takes.
  CommandLineArgument(std::span<const char* const> arguments, std::size_t& index);

  std::string_view option;
  bool hasValue = false;  // the argument carried "=value"

  // The option's value: the text after '=', otherwise the next argument, which is then used up.
  // False when there is neither.
  bool takeValue(std::string_view& value);

 private:
  std::span<const char* const> arguments_;
  std::size_t& index_;
  std::string_view inlineValue_;
};

// --version text: "<name> (Tessmark) <version>, Eigen <its version>" and a line end.
std::string versionText(std::string_view name);

}  // namespace tessmark
