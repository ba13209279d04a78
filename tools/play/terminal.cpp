// terminal.cpp: the status text, raw terminal mode, key decoding and
// signal flags. See terminal.h.
// Owns: the saved terminal settings. Thread: main only.
#include "tools/play/terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>

#include "tools/common/stop_signals.h"

namespace {

constexpr unsigned char ESCAPE = 0x1B;
constexpr int ESCAPE_SEEN = 1;
constexpr int SEQUENCE_OPEN = 2;

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

// ---- Text -------------------------------------------------------------

namespace {

constexpr uint64_t SECONDS_PER_MINUTE = 60;
constexpr uint64_t SECONDS_PER_HOUR = 3600;
constexpr int METER_WIDTH = 8;
constexpr double FULL_SCALE = 32768.0;

std::string printf_string(const char* format, auto... values) {
  char text[128];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

}  // namespace

std::string format_duration(uint64_t frames, int32_t rate) {
  const uint64_t seconds = rate > 0 ? frames / static_cast<uint64_t>(rate) : 0;
  const auto h = static_cast<unsigned long long>(seconds / SECONDS_PER_HOUR);
  const auto m = static_cast<unsigned long long>(seconds / SECONDS_PER_MINUTE % SECONDS_PER_MINUTE);
  const auto s = static_cast<unsigned long long>(seconds % SECONDS_PER_MINUTE);
  if (h > 0) return printf_string("%llu:%02llu:%02llu", h, m, s);
  return printf_string("%llu:%02llu", m, s);
}

std::string announce_line(const std::string& file, const std::string& song, uint64_t total, int32_t rate,
                          bool endless) {
  std::string line = "Playing " + file;
  if (!song.empty()) line += " (" + song + ")";
  line += total > 0 ? ", " + format_duration(total, rate) : ", length unknown";
  if (endless) line += total > 0 ? " a pass, without end" : ", without end";
  return line;
}

std::string level_meter(int32_t peak, int width) {
  int filled = 0;
  if (peak > 0) {
    const double db = 20.0 * std::log10(peak / FULL_SCALE);
    const double share = (db - METER_FLOOR_DB) / -METER_FLOOR_DB;
    filled = static_cast<int>(std::lround(share * width));
    if (filled < 1) filled = 1; // any sound shows
    if (filled > width) filled = width;
  }
  return std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), ' ');
}

std::string status_line(const StatusView& v, int columns) {
  std::string tail = printf_string("  order %d/%d row %2d  ", v.order, v.orders > 0 ? v.orders - 1 : 0, v.row);
  tail += format_duration(v.elapsed, v.rate) + "/" + (v.total > 0 ? format_duration(v.total, v.rate) : "-:--");
  tail += "  L[" + level_meter(v.peak_left, METER_WIDTH) + "] R[" + level_meter(v.peak_right, METER_WIDTH) + "]";
  if (v.gain_db != 0.0) tail += printf_string("  %+g dB", v.gain_db);
  if (v.paused) tail += "  paused";
  std::string head = v.file;
  if (!v.song.empty()) head += " (" + v.song + ")";
  const int room = columns - 1 - static_cast<int>(tail.size());
  if (room <= 0) return tail.substr(0, columns > 1 ? static_cast<size_t>(columns - 1) : 0);
  if (static_cast<int>(head.size()) > room) {
    // Keep the end of the name: the file's own name, not its folders.
    head = room > 3 ? "..." + head.substr(head.size() - static_cast<size_t>(room - 3)) : head.substr(0, room);
  }
  return head + tail;
}
