// terminal.h: the keyboard and the signals of the real-time player: raw
// terminal mode (keys arrive one at a time, without echo), restored on every
// way out; decoding of key presses, arrows included; and the signals that
// end or suspend the player, turned into flags its main loop reads.
// Owns: the saved terminal settings. Thread: main only (the handlers only
// store flags).
//
//   terminal_catch_signals();
//   bool keys = terminal_raw_begin();
//   ... terminal_read_keys(timeout_ms, &decoder, on_key) ... terminal_signal() ...
//   terminal_raw_end();
#pragma once

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
};

// Decodes a byte stream from the keyboard, escape sequences included.
struct KeyDecoder {
  int state = 0; // bytes of an escape sequence seen: 0 none, 1 ESC, 2 ESC [ or ESC O
};
Key decode_key(KeyDecoder* decoder, unsigned char byte);

// Turns SIGINT, SIGTERM and SIGHUP into terminal_signal() and SIGTSTP
// (Ctrl-Z) into terminal_suspend_requested(); ignores SIGPIPE.
void terminal_catch_signals();
// The ending signal received, or 0.
int terminal_signal();
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

// Waits at most timeout_ms for input on standard input (in raw mode) and
// returns the next complete key, or KEY_NONE; without raw mode it only waits.
Key terminal_read_key(KeyDecoder* decoder, int timeout_ms);
