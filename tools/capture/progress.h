// progress.h: the capture's progress bar on a terminal: frames done out of
// all, frames per second so far and the time left at that pace, redrawn in
// place on standard error a few times a second.
// Owns: nothing but its record. Touches: standard error. Thread: main.
//
//   Progress p = progress_start(total, enabled);
//   progress_update(p, done);   // after each frame
//   progress_end(p);            // the last line, then a newline
#pragma once
#include <chrono>
#include <cstdint>

struct Progress {
  bool enabled = false;   // drawing at all (standard error is a terminal and -q was not given)
  int64_t total = 0;      // frames to capture
  std::chrono::steady_clock::time_point start;      // when the capture began
  std::chrono::steady_clock::time_point last_drawn; // when the bar was last redrawn
};

// A progress bar for total frames; draws nothing unless wanted and standard
// error is a terminal.
Progress progress_start(int64_t total, bool wanted);
// Redraws the bar for done frames if it was not redrawn recently.
void progress_update(Progress& progress, int64_t done);
// Draws the bar for done frames one last time and ends its line.
void progress_end(Progress& progress, int64_t done);
