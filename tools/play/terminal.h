// terminal.h: the real-time player's side of the terminal (a POSIX
// terminal, terminal_posix.cpp, or the Windows console, terminal_win32.cpp): the text it
// shows (durations, the line announcing a song, the status line redrawn in
// place); raw terminal mode (keys arrive one at a time, without echo),
// restored on every way out; decoding of key presses, arrows included; and
// the signals that end or suspend the player, turned into flags its main
// loop reads (the stop signals are the tools' own, tools/common/stop_signals.h).
// Owns: the saved terminal settings. Thread: main only (the handlers only
// store flags; the text functions run on any thread).
//
//   terminal_catch_signals();
//   bool keys = terminal_raw_begin();
//   ... terminal_read_key(&decoder, timeout_ms) ... stop_requested() ...
//   terminal_raw_end();
#pragma once
#include <cstdint>
#include <string>

#include "quillmere/music.h"

enum Key {
  KEY_NONE,       // a byte that is no key of ours, or inside an escape sequence
  KEY_PAUSE,      // space
  KEY_PREV_ORDER, // left arrow
  KEY_NEXT_ORDER, // right arrow
  KEY_LOUDER,     // + (or =)
  KEY_SOFTER,     // - (or _)
  KEY_NEXT_FILE,  // n
  KEY_PREV_FILE,  // p
  KEY_QUIT,       // q
  KEY_SEEK_BACK,  // , or < or down arrow: 10 s back
  KEY_SEEK_AHEAD, // . or > or up arrow: 10 s ahead
  KEY_SOLO_NEXT,  // s: the next channel key solos its channel instead of muting it
  KEY_UNMUTE_ALL, // !: every channel sounds again (mutes and solos cleared)
  KEY_INFO,       // i: the song's names and sizes
  KEY_HELP,       // h or ?: the key table
  KEY_CHANNEL_1,  // 1 .. 9, 0: channels 1 .. 10, as KEY_CHANNEL_1 + the channel's index
  KEY_CHANNEL_10 = KEY_CHANNEL_1 + 9,
};

// The channel index (0 .. 9) of a channel key; -1 for any other key.
int key_channel(Key key);

// Decodes a byte stream from the keyboard, escape sequences included.
struct KeyDecoder {
  int state = 0; // bytes of an escape sequence seen: 0 none, 1 ESC, 2 ESC [ or ESC O
};
Key decode_key(KeyDecoder* decoder, unsigned char byte);
// The key of one plain byte (no escape sequence), or KEY_NONE.
Key plain_key(unsigned char byte);

// Installs the tools' stop signals (a second one puts the terminal back
// before the process ends) and turns SIGTSTP (Ctrl-Z) into
// terminal_suspend_requested().
void terminal_catch_signals();
// True once after a Ctrl-Z.
bool terminal_suspend_requested();
// Restores the terminal, stops the process until it is continued, then
// takes the terminal again if it had it.
void terminal_suspend();

// Puts standard input in raw mode when it is a terminal this process runs
// in the foreground of; false (nothing changed) otherwise.
bool terminal_raw_begin();
// Restores the settings terminal_raw_begin found; does nothing otherwise.
void terminal_raw_end();

// Columns of the terminal on standard output, DEFAULT_COLUMNS when unknown.
constexpr int DEFAULT_COLUMNS = 80;
int terminal_columns();

// Waits at most timeout_ms for input on standard input (in raw mode) and
// returns the next complete key, or KEY_NONE; without raw mode it only waits.
Key terminal_read_key(KeyDecoder* decoder, int timeout_ms);

// ---- Text -------------------------------------------------------------

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
  uint32_t muted = 0;     // muted channels, bit c: channel c + 1
  uint32_t soloed = 0;    // soloed channels, likewise
  bool solo_next = false; // s was pressed: a channel key solos
};

// Channels of a bit set as a list counted from 1 ("2,5"); empty for none.
std::string channel_list(uint32_t bits);

// "Playing FILE (song name), M:SS" (without the parentheses for a song
// without a name); endless playbacks name the length of one pass; a total
// of 0 is a length not found ("length unknown").
std::string announce_line(const std::string& file, const std::string& song, uint64_t total, int32_t rate,
                          bool endless);

// A bar of width characters for a peak level, on a decibel scale from
// METER_FLOOR_DB (empty) to full scale (full).
constexpr double METER_FLOOR_DB = -48.0;
std::string level_meter(int32_t peak, int width);

// The status line, at most columns - 1 characters (the cursor stays on the
// line): the file and song names are shortened to make room.
std::string status_line(const StatusView& view, int columns);

// What the info key prints, one line each, names made printable: the song's
// name and tracker, its channels, orders, patterns and instruments, then
// each instrument that has a name or samples, with its samples' names.
std::string song_summary(const qm_song* song);
