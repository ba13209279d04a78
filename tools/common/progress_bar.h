// progress_bar.h: the one progress bar of the tools, on standard error:
// "[#########.......]  42.0%  DETAIL", redrawn in place at most ten times a
// second, cleared before any message and at the end.
// Owns: nothing but its record. Touches: standard error. Thread: the one
// that draws (main).
//
//   ProgressBar bar = progress_bar(progress_wanted(mode, quiet));
//   progress_draw(&bar, share, detail);    // as often as convenient
//   progress_clear(&bar);                  // before a message, and at the end
//   progress_finish(&bar, 1.0, detail);    // or: the last state stays, on a line of its own
#pragma once
#include <chrono>
#include <string>

// --progress, --no-progress, or neither.
enum class ProgressMode { AUTO, ON, OFF };

struct ProgressBar {
  bool on = false;     // draw at all
  bool drawn = false;  // the line shows a bar now
  std::chrono::steady_clock::time_point last{};  // when it was last drawn
};

// Whether to draw: ON always, OFF never, AUTO unless quiet and only when
// standard error is a terminal.
bool progress_wanted(ProgressMode mode, bool quiet);
ProgressBar progress_bar(bool on);
// Draws share (0..1) done and the detail, unless the bar was drawn less
// than a tenth of a second ago.
void progress_draw(ProgressBar* bar, double share, const std::string& detail);
// Erases the bar's line, if it shows a bar.
void progress_clear(ProgressBar* bar);
// Draws share and detail now and ends the line, so that they stay.
void progress_finish(ProgressBar* bar, double share, const std::string& detail);
