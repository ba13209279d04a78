// terminal_posix.cpp: raw terminal mode, keys and signal flags on a POSIX
// terminal (see terminal.h).
// Owns: the saved terminal settings. Thread: main only.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "tools/common/stop_signals.h"
#include "tools/play/terminal.h"

namespace {

std::atomic<bool> suspend_wanted{false};

// Raw mode is on; the settings to restore are in saved. Atomic, because a
// second stop signal's handler reads both (restore_in_handler).
std::atomic<bool> raw_mode{false};
termios saved{};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs lock-free atomics");

void on_suspend(int) { suspend_wanted.store(true, std::memory_order_relaxed); }

// The terminal put back by a second stop signal, which ends the process at
// once; tcsetattr is safe in a handler.
void restore_in_handler() {
  if (raw_mode.load(std::memory_order_acquire)) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

void set_handler(int signal_number, void (*handler)(int)) {
  struct sigaction action{};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

void terminal_catch_signals() {
  install_stop_handlers();
  set_stop_hook(restore_in_handler);
  set_handler(SIGTSTP, on_suspend);
}

bool terminal_suspend_requested() { return suspend_wanted.exchange(false, std::memory_order_relaxed); }

void terminal_suspend() {
  const bool had_terminal = raw_mode.load();
  terminal_raw_end();
  set_handler(SIGTSTP, SIG_DFL);
  raise(SIGTSTP); // returns once the process is continued
  set_handler(SIGTSTP, on_suspend);
  if (had_terminal) terminal_raw_begin();
}

bool terminal_raw_begin() {
  if (raw_mode.load() || isatty(STDIN_FILENO) == 0 || tcgetpgrp(STDIN_FILENO) != getpgrp()) return raw_mode.load();
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  termios raw = saved;
  // Keys one at a time, not echoed; Ctrl-C and Ctrl-Z still send signals.
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
  raw_mode.store(true, std::memory_order_release);
  return true;
}

void terminal_raw_end() {
  if (!raw_mode.load()) return;
  raw_mode.store(false);
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

Key terminal_read_key(KeyDecoder* decoder, int timeout_ms) {
  if (!raw_mode.load()) {
    poll(nullptr, 0, timeout_ms);
    return KEY_NONE;
  }
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, timeout_ms) <= 0) return KEY_NONE;
  if ((in.revents & POLLIN) == 0) {
    // The terminal went away: no more keys, and no poll that returns at once.
    if ((in.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) raw_mode.store(false);
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

int terminal_columns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return DEFAULT_COLUMNS;
}
