// status.h: the text the player shows: durations, the one line announcing a
// song, and the status line redrawn in place on a terminal.
// Owns: nothing. Thread: any.
#pragma once
#include <cstdint>
#include <string>

// A duration of frames at rate as "M:SS", or "H:MM:SS" from an hour on.
std::string format_duration(uint64_t frames, int32_t rate);

// What one status line shows.
struct StatusView {
  std::string file;       // the path as given
  std::string song;       // the song's name, may be empty
  int32_t order = 0;      // order position being played
  int32_t orders = 0;     // order positions of the song
  int32_t row = 0;        // row being played
  uint64_t elapsed = 0;   // frames played
  uint64_t total = 0;     // frames of the whole playback; 0 when unknown or without end
  int32_t rate = 0;       // frames per second
  int32_t peak_left = 0;  // highest |sample| since the last line, 0 .. 32768
  int32_t peak_right = 0;
  double gain_db = 0.0;   // gain in dB
  bool paused = false;
};

// "Playing FILE (song name), M:SS" (without the parentheses for a song
// without a name); endless playbacks name the length of one pass.
std::string announce_line(const std::string& file, const std::string& song, uint64_t total, int32_t rate,
                          bool endless);

// A bar of width characters for a peak level, on a decibel scale from
// METER_FLOOR_DB (empty) to full scale (full).
constexpr double METER_FLOOR_DB = -48.0;
std::string level_meter(int32_t peak, int width);

// The status line, at most columns - 1 characters (the cursor stays on the
// line): the file and song names are shortened to make room.
std::string status_line(const StatusView& view, int columns);
