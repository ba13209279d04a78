// progress_bar.cpp: the progress bar (see progress_bar.h).
// Owns: nothing. Thread: the drawing one.
#include "tools/common/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int BAR_WIDTH = 32;
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);
constexpr double PERCENT = 100.0;
// Back to the line's start and erase it.
constexpr const char* CLEAR_LINE = "\r\033[K";

void draw(ProgressBar* bar, double share, const std::string& detail) {
  share = std::clamp(share, 0.0, 1.0);
  const int filled = static_cast<int>(share * BAR_WIDTH);
  std::fprintf(stderr, "%s[%s%s] %5.1f%%  %s", CLEAR_LINE, std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(BAR_WIDTH - filled), '.').c_str(), PERCENT * share, detail.c_str());
  std::fflush(stderr);
  bar->drawn = true;
}

}  // namespace

bool progress_wanted(ProgressMode mode, bool quiet) {
  switch (mode) {
    case ProgressMode::ON: return true;
    case ProgressMode::OFF: return false;
    case ProgressMode::AUTO: break;
  }
  return !quiet && isatty(STDERR_FILENO) != 0;
}

ProgressBar progress_bar(bool on) {
  ProgressBar bar;
  bar.on = on;
  return bar;
}

void progress_draw(ProgressBar* bar, double share, const std::string& detail) {
  if (!bar->on) return;
  const auto now = std::chrono::steady_clock::now();
  if (bar->drawn && now - bar->last < REDRAW_INTERVAL) return;
  bar->last = now;
  draw(bar, share, detail);
}

void progress_clear(ProgressBar* bar) {
  if (!bar->drawn) return;
  std::fputs(CLEAR_LINE, stderr);
  std::fflush(stderr);
  bar->drawn = false;
}

void progress_finish(ProgressBar* bar, double share, const std::string& detail) {
  if (!bar->on) return;
  draw(bar, share, detail);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  bar->drawn = false;
}
