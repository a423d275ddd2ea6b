#include "compare/progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessmark {

namespace {

constexpr std::size_t kBarWidth = 20;
constexpr std::chrono::milliseconds kRedrawInterval{100};

std::size_t terminalWidth(std::FILE* out) {
  winsize size{};
  if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::string duration(double seconds) {
  char text[32];
  if (!(seconds >= 0 && seconds < 1e7)) return "?";  // NaN, or no estimate worth showing
  if (seconds < 60) {
    std::snprintf(text, sizeof text, "%.0f s", std::ceil(seconds));
  } else {
    const auto whole = static_cast<long long>(seconds);
    std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

ProgressBar::ProgressBar(std::FILE* out, std::span<const ComparedSolver> solvers, int pointNum)
    : out_(out), solvers_(solvers), pointNum_(pointNum), active_(isatty(fileno(out)) == 1) {}

ProgressBar::~ProgressBar() { finish(); }

std::string ProgressBar::line(int s, std::span<const ComparedSolver> solvers, int done,
                              int pointNum, double passSeconds, double secondsLeft,
                              std::size_t width) {
  std::string pass = "starts";
  if (s >= 0) {
    const ComparedSolver& solver = solvers[static_cast<std::size_t>(s)];
    char text[160];
    std::snprintf(text, sizeof text, "[%d/%zu] %.*s %s", s + 1, solvers.size(),
                  static_cast<int>(solver.key.size()), solver.key.data(),
                  solver.entry->selectedName);
    pass = text;
  }
  const double fraction = pointNum > 0 ? static_cast<double>(done) / pointNum : 1.0;
  const auto filled = static_cast<std::size_t>(fraction * kBarWidth);
  const double rate = passSeconds > 0 ? done / passSeconds : 0.0;
  char figures[128];
  std::snprintf(figures, sizeof figures, " [%s%s] %d/%d points, %.0f/s, %s left",
                std::string(filled, '#').c_str(), std::string(kBarWidth - filled, '.').c_str(),
                done, pointNum, rate, duration(secondsLeft).c_str());
  // The pass's name gives way first.
  const std::size_t tail = std::strlen(figures);
  const std::size_t room = width > tail + 1 ? width - tail - 1 : 0;
  if (pass.size() > room) pass.resize(room);
  return pass.append(figures);
}

void ProgressBar::update(int s, int done) {
  if (!active_) return;
  const Clock::time_point now = Clock::now();
  if (s != pass_) {
    pass_ = s;
    passStart_ = now;
  }
  const bool passEnds = done == pointNum_;
  if (drawn_ && !passEnds && now - lastDraw_ < kRedrawInterval) return;
  const double passSeconds = std::chrono::duration<double>(now - passStart_).count();
  // What is left: the rest of this pass at its own rate, and every later solver pass at the mean
  // rate of the solver passes so far (this one included).
  const double rate = passSeconds > 0 && done > 0 ? done / passSeconds : 0.0;
  const double thisLeft = rate > 0 ? (pointNum_ - done) / rate : NAN;
  const double solverPoints = static_cast<double>(solversDone_) * pointNum_ + (s >= 0 ? done : 0);
  const double solverSeconds = solverSeconds_ + (s >= 0 ? passSeconds : 0.0);
  const double meanRate = solverSeconds > 0 ? solverPoints / solverSeconds : rate;
  const int laterPasses = static_cast<int>(solvers_.size()) - (s + 1);
  const double laterLeft =
      laterPasses == 0 ? 0.0 : (meanRate > 0 ? laterPasses * pointNum_ / meanRate : NAN);
  const std::string text =
      line(s, solvers_, done, pointNum_, passSeconds, thisLeft + laterLeft, terminalWidth(out_));
  std::fprintf(out_, "\r%s\x1b[K", text.c_str());
  std::fflush(out_);
  drawn_ = true;
  lastDraw_ = now;
  if (passEnds && s >= 0) {
    solverSeconds_ += passSeconds;
    ++solversDone_;
  }
}

void ProgressBar::finish() {
  if (!active_ || !drawn_) return;
  std::fprintf(out_, "\r\x1b[K");
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace tessmark
