#include "solvers/menus.hpp"

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace tessmark {
namespace {

// Both menus: keys '0' to '9' in order, each row's menu line led by its key, then the row every
// other key selects.
TEST(Menus, ElevenRowsInKeyOrder) {
  for (const auto menu : {vorlantMenu(), sennicMenu()}) {
    ASSERT_EQ(menu.size(), 11u);
    for (int digit = 0; digit <= 9; ++digit) {
      const MenuEntry& entry = menu[static_cast<std::size_t>(digit)];
      EXPECT_EQ(std::string(entry.key), std::to_string(digit));
      EXPECT_TRUE(std::string(entry.menuLine).starts_with("  " + std::to_string(digit) + ": "))
          << entry.menuLine;
    }
    EXPECT_STREQ(menu.back().key, "other");
    EXPECT_TRUE(std::string(menu.back().menuLine).starts_with(" Otherwise: "));
    EXPECT_NE(menu[0].solver, nullptr) << "key 0, Newton-Raphson, runs";
  }
}

// The .lc program words menu lines 1 and 4 and selected names 1 and 2 its own way; every other text
// is the BAL program's. Each program runs its own solvers.
TEST(Menus, TheLcMenuDiffersInItsOwnRowsOnly) {
  const auto bal = vorlantMenu();
  const auto lc = sennicMenu();
  const std::set<std::size_t> ownLines{1, 4};
  const std::set<std::size_t> ownNames{1, 2};
  for (std::size_t i = 0; i < bal.size(); ++i) {
    SCOPED_TRACE(bal[i].key);
    EXPECT_EQ(std::string(bal[i].menuLine) == lc[i].menuLine, !ownLines.contains(i));
    EXPECT_EQ(std::string(bal[i].selectedName) == lc[i].selectedName, !ownNames.contains(i));
    if (bal[i].solver != nullptr && lc[i].solver != nullptr) {
      EXPECT_NE(bal[i].solver, lc[i].solver);
    }
  }
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
