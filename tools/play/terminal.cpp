// terminal.cpp: the status text and key decoding (see terminal.h); the
// terminal itself is the system's (terminal_posix.cpp, terminal_win32.cpp).
// Owns: nothing. Thread: any.
#include "tools/play/terminal.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr unsigned char ESCAPE = 0x1B;
constexpr int ESCAPE_SEEN = 1;
constexpr int SEQUENCE_OPEN = 2;

}  // namespace

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
