// terminal.cpp: raw terminal mode, key decoding and signal flags.
// See terminal.h.
// Owns: the saved terminal settings. Thread: main only.
#include "tools/play/terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace {

constexpr unsigned char ESCAPE = 0x1B;
constexpr int ESCAPE_SEEN = 1;
constexpr int SEQUENCE_OPEN = 2;

std::atomic<int> ending_signal{0};
std::atomic<bool> suspend_wanted{false};

bool raw_mode = false;
termios saved{};

void on_ending_signal(int signal_number) { ending_signal.store(signal_number, std::memory_order_relaxed); }
void on_suspend(int) { suspend_wanted.store(true, std::memory_order_relaxed); }

void set_handler(int signal_number, void (*handler)(int)) {
  struct sigaction action{};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

Key plain_key(unsigned char byte) {
  switch (byte) {
    case ' ': return KEY_PAUSE;
    case '+': case '=': return KEY_LOUDER;
    case '-': case '_': return KEY_SOFTER;
    case 'n': case 'N': return KEY_NEXT_FILE;
    case 'p': case 'P': return KEY_PREV_FILE;
    case 'q': case 'Q': return KEY_QUIT;
    default: return KEY_NONE;
  }
}

}  // namespace

Key decode_key(KeyDecoder* d, unsigned char byte) {
  if (d->state == ESCAPE_SEEN) {
    if (byte == '[' || byte == 'O') {
      d->state = SEQUENCE_OPEN;
      return KEY_NONE;
    }
    d->state = 0; // a lone Esc: the byte after it is a key of its own
  }
  if (d->state == SEQUENCE_OPEN) {
    // Parameters (digits, ';') may come before the final byte, as in ESC [ 1 ; 5 C.
    if ((byte >= '0' && byte <= '9') || byte == ';') return KEY_NONE;
    d->state = 0;
    if (byte == 'C') return KEY_NEXT_ORDER;
    if (byte == 'D') return KEY_PREV_ORDER;
    return KEY_NONE;
  }
  if (byte == ESCAPE) {
    d->state = ESCAPE_SEEN;
    return KEY_NONE;
  }
  return plain_key(byte);
}

void terminal_catch_signals() {
  set_handler(SIGINT, on_ending_signal);
  set_handler(SIGTERM, on_ending_signal);
  set_handler(SIGHUP, on_ending_signal);
  set_handler(SIGTSTP, on_suspend);
  // A closed pipe on standard output fails the write instead of ending the
  // process with the terminal left raw.
  set_handler(SIGPIPE, SIG_IGN);
}

int terminal_signal() { return ending_signal.load(std::memory_order_relaxed); }

bool terminal_suspend_requested() { return suspend_wanted.exchange(false, std::memory_order_relaxed); }

void terminal_suspend() {
  const bool had_terminal = raw_mode;
  terminal_raw_end();
  set_handler(SIGTSTP, SIG_DFL);
  raise(SIGTSTP); // returns once the process is continued
  set_handler(SIGTSTP, on_suspend);
  if (had_terminal) terminal_raw_begin();
}

bool terminal_raw_begin() {
  if (raw_mode || isatty(STDIN_FILENO) == 0 || tcgetpgrp(STDIN_FILENO) != getpgrp()) return raw_mode;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  termios raw = saved;
  // Keys one at a time, not echoed; Ctrl-C and Ctrl-Z still send signals.
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
  raw_mode = true;
  return true;
}

void terminal_raw_end() {
  if (!raw_mode) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  raw_mode = false;
}

Key terminal_read_key(KeyDecoder* decoder, int timeout_ms) {
  if (!raw_mode) {
    poll(nullptr, 0, timeout_ms);
    return KEY_NONE;
  }
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, timeout_ms) <= 0) return KEY_NONE;
  if ((in.revents & POLLIN) == 0) {
    // The terminal went away: no more keys, and no poll that returns at once.
    if ((in.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) raw_mode = false;
    return KEY_NONE;
  }
  unsigned char byte = 0;
  while (read(STDIN_FILENO, &byte, 1) == 1) {
    const Key key = decode_key(decoder, byte);
    if (key != KEY_NONE) return key;
    if (decoder->state == 0) break;
  }
  return KEY_NONE;
}
