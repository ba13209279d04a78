// progress.cpp: draws the capture's progress bar (see progress.h).
#include "tools/capture/progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int BAR_CELLS = 30;
constexpr auto REDRAW_EVERY = std::chrono::milliseconds(200);
constexpr int SECONDS_PER_MINUTE = 60;

void draw(const Progress& p, int64_t done) {
  const double elapsed = std::chrono::duration<double>(Clock::now() - p.start).count();
  const double fps = elapsed > 0 ? static_cast<double>(done) / elapsed : 0.0;
  const auto filled = static_cast<int>(p.total > 0 ? done * BAR_CELLS / p.total : BAR_CELLS);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(BAR_CELLS - filled), '.');
  char left[32] = "--:--";
  if (fps > 0) {
    const auto seconds = static_cast<int64_t>(static_cast<double>(p.total - done) / fps + 0.5);
    std::snprintf(left, sizeof left, "%lld:%02lld", static_cast<long long>(seconds / SECONDS_PER_MINUTE),
                  static_cast<long long>(seconds % SECONDS_PER_MINUTE));
  }
  // \r back to the line's start, \033[K clears what a longer line left.
  std::fprintf(stderr, "\r[%s] %lld/%lld frames  %.1f fps  %s left\033[K", bar.c_str(), static_cast<long long>(done),
               static_cast<long long>(p.total), fps, left);
  std::fflush(stderr);
}

}  // namespace

Progress progress_start(int64_t total, bool wanted) {
  Progress p;
  p.enabled = wanted && isatty(STDERR_FILENO);
  p.total = total;
  p.start = Clock::now();
  p.last_drawn = p.start - REDRAW_EVERY;
  return p;
}

void progress_update(Progress& p, int64_t done) {
  if (!p.enabled) return;
  const auto now = Clock::now();
  if (now - p.last_drawn < REDRAW_EVERY) return;
  p.last_drawn = now;
  draw(p, done);
}

void progress_end(Progress& p, int64_t done) {
  if (!p.enabled) return;
  draw(p, done);
  std::fputc('\n', stderr);
}
