// terminal.cpp: the status text and key decoding (see terminal.h); the
// terminal itself is the system's (terminal_posix.cpp, terminal_win32.cpp).
// Owns: nothing. Thread: any.
#include "tools/play/terminal.h"

#include <cmath>
#include <cstdio>

#include "tools/common/text.h"

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
    case ',': case '<': return KEY_SEEK_BACK;
    case '.': case '>': return KEY_SEEK_AHEAD;
    case 's': case 'S': return KEY_SOLO_NEXT;
    case '!': return KEY_UNMUTE_ALL;
    case 'i': case 'I': return KEY_INFO;
    case 'h': case 'H': case '?': return KEY_HELP;
    case '0': return KEY_CHANNEL_10;
    default: break;
  }
  if (byte >= '1' && byte <= '9') return static_cast<Key>(KEY_CHANNEL_1 + (byte - '1'));
  return KEY_NONE;
}

int key_channel(Key key) { return key >= KEY_CHANNEL_1 && key <= KEY_CHANNEL_10 ? key - KEY_CHANNEL_1 : -1; }


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
    if (byte == 'A') return KEY_SEEK_AHEAD;
    if (byte == 'B') return KEY_SEEK_BACK;
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
  if (v.muted != 0) tail += "  mute " + channel_list(v.muted);
  if (v.soloed != 0) tail += "  solo " + channel_list(v.soloed);
  if (v.solo_next) tail += "  solo which?";
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

std::string channel_list(uint32_t bits) {
  std::string list;
  for (int32_t c = 0; c < QM_MAX_CHANNELS; ++c) {
    if (((bits >> c) & 1) == 0) continue;
    if (!list.empty()) list += ',';
    list += std::to_string(c + 1);
  }
  return list;
}

std::string song_summary(const qm_song* song) {
  qm_song_info info{};
  qm_song_get_info(song, &info);
  std::string text = "song: " + song_text(info.name) + "\ntracker: " + song_text(info.tracker) + "\n";
  text += printf_string("%d channels, %d orders, %d patterns, %d instruments\n", info.channels, info.length,
                        info.patterns, info.instruments);
  for (int32_t i = 0; i < info.instruments; ++i) {
    qm_instrument_info instrument{};
    qm_song_get_instrument(song, i, &instrument);
    if (instrument.name[0] == '\0' && instrument.samples == 0) continue;
    text += printf_string("instrument %2d: ", i + 1) + song_text(instrument.name) + "\n";
    for (int32_t s = 0; s < instrument.samples; ++s) {
      qm_sample_info sample{};
      qm_song_get_sample(song, i, s, &sample);
      text += printf_string("  sample %2d: ", s + 1) + song_text(sample.name) + "\n";
    }
  }
  return text;
}
