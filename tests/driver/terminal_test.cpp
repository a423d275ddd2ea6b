// The built vorlant at a keyboard: on a pseudo-terminal, started as a shell starts a job, with the
// terminal's own colour handling (no --color, no NO_COLOR). Whatever way the program ends, the
// terminal must be left as it was found: modes, colours, window title, and no unread keys.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.hpp"
#include "tests/support/terminal_session.hpp"

extern char** environ;

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using testing::describeWaitStatus;
using testing::TemporaryFolder;
using testing::TerminalSession;

const std::string kVorlant = TESSMARK_VORLANT;
const std::string kMakeBalProblem = TESSMARK_MAKE_BAL;

constexpr const char* kMenuPrompt = "Please select a desired algorithm number for triangulation:";
constexpr const char* kPausePrompt = "Press any key to continue . . .";
constexpr const char* kTitlePush = "\x1b[22;0t";
constexpr const char* kTitlePop = "\x1b[23;0t";
constexpr const char* kColorReset = "\x1b[0m";

class VorlantAtATerminal : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const rlimit noCore{0, 0};  // SIGQUIT would dump one
    setrlimit(RLIMIT_CORE, &noCore);
  }

  void SetUp() override {
    const testing::ChildResult made = testing::runChild(
        {kMakeBalProblem, {"problem.txt", "--points", "30", "--cameras", "12"}, folder_.path()});
    ASSERT_TRUE(made.exited && made.status == 0) << made.err;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable = *entry;
      if (!variable.starts_with("NO_COLOR=") && !variable.starts_with("TERM=")) {
        environment_.push_back(variable);
      }
    }
    environment_.push_back("TERM=xterm-256color");
  }

  std::unique_ptr<TerminalSession> start() {
    return std::make_unique<TerminalSession>(
        kVorlant, std::vector<std::string>{"--data", "problem.txt"}, folder_.path(), environment_);
  }

  // Waits for the menu and its key read.
  static void reachMenu(TerminalSession& session) {
    ASSERT_NE(session.waitForOutput(kMenuPrompt), std::string::npos) << session.output();
    ASSERT_TRUE(session.waitForRawMode()) << session.output();
  }

  // Answers every pause prompt with one key until the program ends; how many prompts it answered.
  static int answerPausesToTheEnd(TerminalSession& session, std::size_t from, int& status) {
    int answered = 0;
    for (;;) {
      const std::size_t prompt = session.waitForOutput(kPausePrompt, from);
      if (prompt == std::string::npos || !session.waitForRawMode()) break;
      session.type("k");
      ++answered;
      from = prompt;
    }
    status = session.waitForExit();
    return answered;
  }

  // The terminal as found: modes, colours reset after the last colour change, the title popped
  // after it was pushed, and no key left for the shell.
  static void expectTerminalAsFound(TerminalSession& session) {
    EXPECT_TRUE(session.modesAsAtStart());
    EXPECT_EQ(session.unreadInput(), "");
    const std::string& output = session.output();
    const std::size_t push = output.find(kTitlePush);
    ASSERT_NE(push, std::string::npos) << "the title was not pushed";
    EXPECT_NE(output.find(kTitlePop, push), std::string::npos) << "the title was not popped";
    static const std::regex kColorChange("\x1b\\[[0-9]+;[0-9]+m");
    std::size_t lastColor = std::string::npos;
    for (auto match = std::sregex_iterator(output.begin(), output.end(), kColorChange);
         match != std::sregex_iterator(); ++match) {
      lastColor = static_cast<std::size_t>(match->position());
    }
    ASSERT_NE(lastColor, std::string::npos) << "no colours on a terminal";
    EXPECT_NE(output.find(kColorReset, lastColor), std::string::npos)
        << "colours left set after the last change";
  }

  TemporaryFolder folder_;
  std::vector<std::string> environment_;
};

// Ctrl-C and Ctrl-\ typed at the menu, SIGTERM and SIGHUP sent there: each ends the program by
// its signal, and the terminal is as it was.
TEST_F(VorlantAtATerminal, SignalAtTheMenuLeavesTheTerminalAsFound) {
  struct Case {
    const char* name;
    std::string typed;  // empty: the signal is sent
    int signal;
  };
  const std::vector<Case> cases = {
      {"Ctrl-C", "\x03", SIGINT},
      {"Ctrl-\\", "\x1c", SIGQUIT},
      {"SIGTERM", "", SIGTERM},
      {"SIGHUP", "", SIGHUP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto session = start();
    reachMenu(*session);
    if (HasFatalFailure()) return;
    if (c.typed.empty()) {
      session->sendSignal(c.signal);
    } else {
      session->type(c.typed);
    }
    const int status = session->waitForExit();
    ASSERT_TRUE(WIFSIGNALED(status)) << describeWaitStatus(status);
    EXPECT_EQ(WTERMSIG(status), c.signal);
    expectTerminalAsFound(*session);
  }
}

// An arrow key at the menu is one keystroke: ESC picks the default entry, and neither its '[' nor
// its 'A' answers a pause or reaches the shell. Every pause waits for a key of its own.
TEST_F(VorlantAtATerminal, ArrowKeyAtTheMenuLeavesNothingBehind) {
  const auto session = start();
  reachMenu(*session);
  if (HasFatalFailure()) return;
  const std::size_t menuEnd = session->output().size();
  session->type("\x1b[A");
  ASSERT_NE(session->waitForOutput("Default inexact damped Newton line search", menuEnd),
            std::string::npos)
      << session->output();
  int status = -1;
  const int answered = answerPausesToTheEnd(*session, menuEnd, status);
  ASSERT_TRUE(WIFEXITED(status)) << describeWaitStatus(status);
  EXPECT_GE(answered, 1);
  expectTerminalAsFound(*session);
}

// Ctrl-Z at the menu gives the shell a terminal as it was; after fg the key is taken raw again,
// without echo and without Enter, and the run goes on to its end.
TEST_F(VorlantAtATerminal, CtrlZAndFgAtTheMenu) {
  const auto session = start();
  reachMenu(*session);
  if (HasFatalFailure()) return;
  session->type("\x1a");
  ASSERT_TRUE(session->waitForStop());
  EXPECT_TRUE(session->modesAsAtStart());
  session->continueInForeground();
  ASSERT_TRUE(session->waitForRawMode());
  const std::size_t before = session->output().size();
  session->type("0");
  ASSERT_NE(session->waitForOutput("    0: Newton-Raphson", before), std::string::npos)
      << session->output();
  int status = -1;
  answerPausesToTheEnd(*session, before, status);
  ASSERT_TRUE(WIFEXITED(status)) << describeWaitStatus(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << session->output();
  EXPECT_NE(session->output().find("Outputs were appended to:"), std::string::npos);
  expectTerminalAsFound(*session);
}

// Numbers masked (times, stamps): two runs of the same data with the same key then read alike.
std::string withNumbersMasked(const std::string& text) {
  static const std::regex kNumber("[0-9][0-9.eE+-]*");
  return std::regex_replace(text, kNumber, "#");
}

// Standard output in a file, the keys typed at the terminal: the menu and both pause prompts reach
// the terminal too (on standard error when that is the terminal, otherwise on the controlling
// terminal), and nothing else does; the file gets exactly the console text it always got.
TEST_F(VorlantAtATerminal, PromptsReachTheTerminalWhenTheOutputGoesToAFile) {
  const testing::ChildResult piped =
      testing::runChild({kVorlant, {"--data", "problem.txt"}, folder_.path(), "0"});
  ASSERT_TRUE(piped.exited && piped.status == 0) << piped.err;
  const std::size_t start = piped.out.find("\n   Start triangulating");
  ASSERT_NE(start, std::string::npos) << piped.out;
  const std::string pause = std::string(kPausePrompt) + "\n";
  const std::string expectedFile =
      piped.out.substr(0, start) + pause + piped.out.substr(start) + pause;
  const std::size_t menuStart = piped.out.find(kMenuPrompt);
  const std::size_t menuEnd = piped.out.find("\nAlgorithm selected is");
  ASSERT_TRUE(menuStart != std::string::npos && menuEnd != std::string::npos) << piped.out;
  std::string onTerminal = piped.out.substr(menuStart, menuEnd - menuStart) + pause + pause;
  onTerminal = std::regex_replace(onTerminal, std::regex("\n"), "\r\n");

  struct Case {
    const char* name;
    const char* redirections;
  };
  for (const Case& c : {Case{"errors on the terminal", ">console.txt"},
                        Case{"errors in a file too", ">console.txt 2>errors.txt"}}) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(folder_.path() / "errors.txt");
    TerminalSession session(
        "/bin/sh",
        {"-c", std::string("exec \"$0\" --data problem.txt ") + c.redirections, kVorlant},
        folder_.path(), environment_);
    reachMenu(session);
    if (HasFatalFailure()) return;
    session.type("0");
    int status = -1;
    EXPECT_EQ(answerPausesToTheEnd(session, 0, status), 2);
    ASSERT_TRUE(WIFEXITED(status)) << describeWaitStatus(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(session.output(), onTerminal);
    EXPECT_EQ(withNumbersMasked(testing::readFile(folder_.path() / "console.txt")),
              withNumbersMasked(expectedFile));
    if (std::filesystem::exists(folder_.path() / "errors.txt")) {
      EXPECT_EQ(testing::readFile(folder_.path() / "errors.txt"), "");
    }
    EXPECT_TRUE(session.modesAsAtStart());
    EXPECT_EQ(session.unreadInput(), "");
  }
}

}  // namespace
}  // namespace tessmark
