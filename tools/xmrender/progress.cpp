// progress.cpp: the progress bar.
// Owns: see progress.h. Thread: main.
#include "tools/xmrender/progress.h"

#include <cstdio>
#include <string>

namespace {

constexpr int BAR_WIDTH = 32;
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);
constexpr const char* CLEAR_LINE = "\r\033[K";

}  // namespace

void progress_draw(ProgressBar* bar, const std::deque<Job>& jobs) {
  if (!bar->on) return;
  const auto now = std::chrono::steady_clock::now();
  if (bar->drawn && now - bar->last < REDRAW_INTERVAL) return;
  bar->last = now;
  double share = 0.0;
  size_t done = 0;
  std::string detail;
  for (const Job& job : jobs) {
    const uint64_t total = job.frames_total.load(std::memory_order_relaxed);
    const uint64_t frames = job.frames_done.load(std::memory_order_relaxed);
    if (job.stage.load(std::memory_order_acquire) == STAGE_DONE) {
      share += 1.0;
      ++done;
    } else if (total > 0) {
      share += static_cast<double>(frames) / static_cast<double>(total);
    }
  }
  share /= static_cast<double>(jobs.size());
  if (jobs.size() > 1) detail = std::to_string(done) + " of " + std::to_string(jobs.size()) + " songs";
  else detail = jobs.front().input;
  const int filled = static_cast<int>(share * BAR_WIDTH);
  std::fprintf(stderr, "%s[%s%s] %5.1f%%  %s", CLEAR_LINE, std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(BAR_WIDTH - filled), '.').c_str(), 100.0 * share, detail.c_str());
  std::fflush(stderr);
  bar->drawn = true;
}

void progress_clear(ProgressBar* bar) {
  if (!bar->drawn) return;
  std::fputs(CLEAR_LINE, stderr);
  std::fflush(stderr);
  bar->drawn = false;
}
