// progress.h: the progress bar of xmrender on standard error: for one song
// the share rendered and the seconds of audio; for several, the songs done.
// Drawn at most ten times a second, and cleared before any message.
// Owns: the bar's line on the terminal. Thread: main.
//
//   ProgressBar bar{true};
//   progress_draw(&bar, jobs);   // as often as you like
//   progress_clear(&bar);        // before printing anything else
#pragma once
#include <chrono>
#include <deque>

#include "tools/xmrender/render_job.h"

struct ProgressBar {
  bool on = false;     // draw at all
  bool drawn = false;  // the line shows a bar now
  std::chrono::steady_clock::time_point last{};  // when it was last drawn
};

void progress_draw(ProgressBar* bar, const std::deque<Job>& jobs);
void progress_clear(ProgressBar* bar);
