// api_songs.cpp: the helpers of api_songs.h.
#include "tests/api/api_songs.h"

#include <string>

#include "music/convert.h"
#include "tests/support/xm_writer.h"

using namespace qm;

namespace {

XmInstrument looped_tone() {
  XmInstrument in;
  XmSample s;
  for (int i = 0; i < 64; ++i) s.pcm.push_back(i < 32 ? 70 : -70);
  s.type = XM_SAMPLE_FORWARD;
  s.loop_length = 64;
  in.samples.push_back(s);
  return in;
}

// Row r holds a note on channel r % channels, except on `silent`.
XmPattern pattern_of(uint16_t rows, uint16_t channels, uint8_t first_note, int32_t silent = -1) {
  XmPattern p;
  p.rows = rows;
  p.cells.resize(static_cast<size_t>(rows) * channels);
  for (int r = 0; r < rows; ++r) {
    if (r % channels == silent) continue;
    xm_cell(p, channels, r, r % channels) = Cell{static_cast<uint8_t>(first_note + r), 1, 0, 0, 0};
  }
  return p;
}

template <typename T, typename Render>
std::vector<T> render_with(const qm_song* song, int32_t rate, int32_t frames, int32_t chunk, Render render) {
  std::vector<T> out(2 * static_cast<size_t>(frames));
  qm_player* p = nullptr;
  if (qm_player_create(song, rate, &p) != QM_OK) return {};
  qm_player_set_repeat_count(p, -1);
  for (int32_t done = 0; done < frames;) {
    int32_t ask = frames - done < chunk ? frames - done : chunk;
    int32_t got = render(p, out.data() + 2 * static_cast<size_t>(done), ask);
    if (got != ask) break;
    done += got;
  }
  qm_player_free(p);
  return out;
}

}  // namespace

SongHandle load_repository_song(const char* path) {
  qm_song* song = nullptr;
  qm_song_load_file((std::string(QM_SOURCE_DIR) + "/" + path).c_str(), &song);
  return SongHandle(song);
}

SongHandle load_bytes(const std::vector<uint8_t>& bytes) {
  qm_song* song = nullptr;
  qm_song_load_memory(bytes.data(), bytes.size(), &song);
  return SongHandle(song);
}

std::vector<uint8_t> four_row_song() {
  XmFile f;
  f.channel_count = 1;
  f.patterns.push_back(pattern_of(4, 1, 49));
  f.instruments.push_back(looped_tone());
  return write_xm(f);
}

XmFile three_order_file(int32_t silent_channel) {
  XmFile f;
  f.channel_count = 2;
  f.song_length = 3;
  for (uint8_t i = 0; i < 3; ++i) {
    f.patterns.push_back(pattern_of(8, 2, static_cast<uint8_t>(37 + 12 * i), silent_channel));
    f.order_table[i] = i;
  }
  f.instruments.push_back(looped_tone());
  return f;
}

std::vector<uint8_t> three_order_song(int32_t silent_channel) { return write_xm(three_order_file(silent_channel)); }

std::vector<int16_t> render_s16(const qm_song* song, int32_t rate, int32_t frames, int32_t chunk) {
  return render_with<int16_t>(song, rate, frames, chunk, qm_player_render_s16);
}

std::vector<float> render_f32(const qm_song* song, int32_t rate, int32_t frames, int32_t chunk) {
  return render_with<float>(song, rate, frames, chunk, qm_player_render_f32);
}

uint64_t render_all(qm_player* player, int32_t chunk) {
  std::vector<int16_t> pcm(2 * static_cast<size_t>(chunk));
  uint64_t total = 0;
  for (int32_t got = chunk; got == chunk;) {
    got = qm_player_render_s16(player, pcm.data(), chunk);
    total += static_cast<uint64_t>(got);
  }
  return total;
}

int16_t pcm16_of(float value) {
  const float pair[2] = {value, value};
  int16_t out[2];
  convert_to_pcm16_reference(out, pair, 1);
  return out[0];
}

void log_row(void* user, const qm_row_event* event) { static_cast<RowLog*>(user)->events.push_back(*event); }
