#include "driver/menu.hpp"

#include <string>

#include <gtest/gtest.h>

namespace tessmark {
namespace {

struct Row {
  const char* menuLine;
  const char* selectedName;
};

// The texts the menu shows and the reports carry, key '0' to '9', then every other key.
const Row kRows[] = {
    {"  0: Newton-Raphson iteration", "Newton-Raphson"},
    {"  1: Gauss-Newton iteration", "Gauss-Newton"},
    {"  2: Gauss-Newton with trust region", "Gauss-Newton with trust region"},
    {"  3: Jarratt iteration", "Newton-Jarratt iteration"},
    {"  4: Newton-Raphson with Greenstadt modification",
     "Newton-Raphson iteration with Greenstadt modification"},
    {"  5: Levenberg-Marquardt-Fan algorithm 2011Cubic",
     "Levenberg-Marquardt-Fan algorithm 2011Cubic"},
    {"  6: Levenberg-Marquardt-Yamashita-Fukushima 2000",
     "Levenberg-Marquardt-Yamashita-Fukushima 2000"},
    // Key 7 runs the general Levenberg-Marquardt solver under this name.
    {"  7: Levenberg-Marquardt general algorithm",
     "Inexact Newton,Levenberg-Marquardt-Yamashita-Fukushima 2000"},
    {"  8: exact Newton line search, alpha dx norm as stopping criterion",
     "Exact damped Newton line search, alpha dx norm stopping criterion"},
    {"  9: Gauss-Newton with Armijo line search", "Gauss-Newton with Armijo line search"},
    {" Otherwise: inexact Newton line search, alpha dx norm as stopping criterion",
     "Default inexact damped Newton line search, alpha dx norm stopping criterion"},
};

TEST(VorlantMenu, ShowsTheElevenRowsInKeyOrder) {
  const auto menu = vorlantMenu();
  ASSERT_EQ(menu.size(), std::size(kRows));
  for (std::size_t i = 0; i < menu.size(); ++i) {
    EXPECT_STREQ(menu[i].menuLine, kRows[i].menuLine);
    EXPECT_STREQ(menu[i].selectedName, kRows[i].selectedName);
  }
  EXPECT_NE(menu[0].solver, nullptr) << "key 0, Newton-Raphson, runs";
}

TEST(SelectMenuEntry, DigitsPickTheirRowAndEveryOtherBytePicksTheLast) {
  const auto menu = vorlantMenu();
  for (int digit = 0; digit <= 9; ++digit) {
    const auto key = static_cast<unsigned char>('0' + digit);
    EXPECT_EQ(&selectMenuEntry(menu, key), &menu[static_cast<std::size_t>(digit)]) << "key " << key;
  }
  // Just below and above the digits, letters, line ends, NUL, and bytes above 127 (negative as a
  // signed byte, so key - '0' is negative too).
  for (const unsigned char key :
       {'/', ':', 'a', 'q', 'Z', '\n', '\r', ' ', '\0', '\x7f', '\x80', '\xb0', '\xff'}) {
    EXPECT_EQ(&selectMenuEntry(menu, key), &menu.back()) << "byte " << int{key};
  }
}

}  // namespace
}  // namespace tessmark
