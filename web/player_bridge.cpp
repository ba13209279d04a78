// player_bridge.cpp: what the module player calls of the music library about
// its song: load it from bytes the page hands over, describe it (names of
// the song, the instruments and their samples, orders, the length of one
// pass), copy a pattern's cells for the pattern view, and render one pass
// with a player of its own for a WAV download with the tools' WAV header.
// JSON through the tools' JSON writer, the same as xmrender --info --json.
// The page calls all of it; the download's worker (render_worker.js) loads
// its own copy of the song and calls the render.
// Owns: the one song, its render player and the buffers the page reads
// from. Touches: the library's C API and the tools' kit.
// Thread: the page's main thread, or the worker's.
#include "web/player_bridge.h"

#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/common/json_writer.h"
#include "tools/common/wav_header.h"

namespace {

constexpr uint64_t RENDER_MAX_FRAMES = 3600ull * PLAYER_RATE; // a download stops after an hour
constexpr int32_t MAX_PULL = 16384;                         // frames one render call fills at most
constexpr size_t MAX_FILE_BYTES = 64u << 20;                // larger files are refused before loading
constexpr int PLAYER_CHANNELS = 2;
constexpr int PLAYER_BITS = 16;                             // what qm_player_render_s16 gives
constexpr int32_t MAX_ROWS = 256;                           // rows a pattern can have
constexpr int32_t CELL_BYTES = 5;                           // note, instrument, volume, effect, parameter
constexpr int32_t MAX_CHANNELS = 32;                        // channels a song can have

struct Bridge {
  qm_song* song = nullptr;        // the loaded song; null before a load and after a refusal
  qm_player* render = nullptr;    // the download's player; null outside a render
  uint64_t rendered = 0;          // frames the render player has given
  uint8_t* file = nullptr;        // the bytes of the file being handed over
  std::string text;               // the last text handed to the page
  int16_t frames[2 * MAX_PULL];   // what the last render call filled
  unsigned char header[WAV_MAX_HEADER_BYTES];  // the download's WAV header
  uint8_t cells[MAX_ROWS * MAX_CHANNELS * CELL_BYTES];  // the last pattern asked for
};

Bridge bridge;

void free_song() {
  playback_release();
  qm_player_free(bridge.render);
  bridge.render = nullptr;
  qm_song_free(bridge.song);
  bridge.song = nullptr;
}

void describe_instruments(JsonWriter* j, int32_t count) {
  json_key(j, "instruments");
  json_begin_array(j);
  for (int32_t i = 0; i < count; ++i) {
    qm_instrument_info instrument{};
    qm_song_get_instrument(bridge.song, i, &instrument);
    json_begin_object(j);
    json_string_field(j, "name", instrument.name);
    json_key(j, "samples");
    json_begin_array(j);
    for (int32_t s = 0; s < instrument.samples; ++s) {
      qm_sample_info sample{};
      qm_song_get_sample(bridge.song, i, s, &sample);
      json_string(j, sample.name);
    }
    json_end_array(j);
    json_end_object(j);
  }
  json_end_array(j);
}

// The song time of a row: where a playback from the song's start reaches
// it (0 for a row it never reaches), found by a player of its own.
int64_t song_time_of(int32_t order, int32_t row) {
  qm_player* probe = nullptr;
  if (qm_player_create(bridge.song, PLAYER_RATE, &probe) != QM_OK) return 0;
  qm_position at{};
  const bool found = qm_player_seek(probe, order, row) == QM_OK && qm_player_get_position(probe, &at) == QM_OK;
  qm_player_free(probe);
  return found ? static_cast<int64_t>(at.frame) : 0;
}

}  // namespace

const qm_song* bridge_song() { return bridge.song; }

extern "C" {

// A buffer of size bytes for the file the page hands over (replacing the
// last one); null when the file is larger than the player takes or memory
// runs out.
EMSCRIPTEN_KEEPALIVE uint8_t* player_file_buffer(double size) {
  std::free(bridge.file);
  bridge.file = nullptr;
  if (size < 1 || size > static_cast<double>(MAX_FILE_BYTES)) return nullptr;
  bridge.file = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
  return bridge.file;
}

EMSCRIPTEN_KEEPALIVE double player_max_file_bytes() { return static_cast<double>(MAX_FILE_BYTES); }

// Loads the song from the file buffer's first size bytes, replacing the
// song before it (its playback and render end). Returns the library's
// status; on a refusal player_load_error says why. The file buffer is
// released either way.
EMSCRIPTEN_KEEPALIVE int player_load(double size) {
  free_song();
  qm_load_error error{};
  qm_status status = QM_ERROR_INVALID_ARGUMENT;
  if (bridge.file != nullptr && size >= 1 && size <= static_cast<double>(MAX_FILE_BYTES)) {
    status = qm_song_load_memory_ex(bridge.file, static_cast<size_t>(size), &bridge.song, &error);
  }
  std::free(bridge.file);
  bridge.file = nullptr;
  bridge.text = qm_status_text(status);
  if (status != QM_OK && error.detail[0] != '\0') bridge.text += std::string(": ") + error.detail;
  return status;
}

// The reason of the last load: the status's text and the loader's detail.
EMSCRIPTEN_KEEPALIVE const char* player_load_error() { return bridge.text.c_str(); }

// The loaded song as JSON: name, tracker, channels, length (orders),
// restart, patterns, speed, tempo, orders (the pattern at each position),
// frames (one pass at the player's rate), loop_frame (the song time of the
// row the song comes back to after a pass, where a looping playback goes on;
// -1 when it does not come back), instruments (name and sample names) and
// warnings; "null" without a song.
EMSCRIPTEN_KEEPALIVE const char* player_describe() {
  qm_song_info info{};
  if (qm_song_get_info(bridge.song, &info) != QM_OK) return "null";
  qm_measure pass{};
  qm_song_measure_ex(bridge.song, PLAYER_RATE, 0, 0, RENDER_MAX_FRAMES, 0, &pass);
  const int64_t frames = static_cast<int64_t>(pass.frames);
  JsonWriter j;
  json_begin_object(&j);
  json_string_field(&j, "name", info.name);
  json_string_field(&j, "tracker", info.tracker);
  json_int_field(&j, "channels", info.channels);
  json_int_field(&j, "length", info.length);
  json_int_field(&j, "restart", info.restart);
  json_int_field(&j, "patterns", info.patterns);
  json_int_field(&j, "speed", info.speed);
  json_int_field(&j, "bpm", info.bpm);
  json_int_field(&j, "frames", frames);
  json_int_field(&j, "loop_frame", pass.end_order >= 0 ? song_time_of(pass.end_order, pass.end_row) : -1);
  json_key(&j, "orders");
  json_begin_array(&j);
  for (int32_t i = 0; i < info.length; ++i) json_int(&j, qm_song_order(bridge.song, i));
  json_end_array(&j);
  describe_instruments(&j, info.instruments);
  json_key(&j, "warnings");
  json_begin_array(&j);
  for (int32_t i = 0; i < qm_song_warning_count(bridge.song); ++i) json_string(&j, qm_song_warning_text(bridge.song, i));
  json_end_array(&j);
  json_end_object(&j);
  bridge.text = j.text;
  return bridge.text.c_str();
}

// Copies the cells of a pattern into player_cells: rows x channels cells of
// 5 bytes (note, instrument, volume column, effect, parameter), row by row.
// Returns the rows, or -1 without a song or for a pattern it lacks.
EMSCRIPTEN_KEEPALIVE int player_pattern(int pattern) {
  qm_song_info info{};
  const int32_t rows = qm_song_pattern_rows(bridge.song, pattern);
  if (rows < 1 || rows > MAX_ROWS || qm_song_get_info(bridge.song, &info) != QM_OK) return -1;
  static_assert(sizeof(qm_cell) == CELL_BYTES, "cells are copied as 5 bytes each");
  auto* cells = reinterpret_cast<qm_cell*>(bridge.cells);
  for (int32_t row = 0; row < rows; ++row) {
    qm_song_get_row(bridge.song, pattern, row, cells + static_cast<size_t>(row) * info.channels, info.channels);
  }
  return rows;
}

EMSCRIPTEN_KEEPALIVE const uint8_t* player_cells() { return bridge.cells; }

// Starts a render of one pass of the song from its start, as a fresh
// player plays it with the interpolation (a qm_interpolation), for a
// download. Returns the pass's length in frames (at most an hour), or -1
// without a song or for an unknown interpolation.
EMSCRIPTEN_KEEPALIVE double player_render_begin(int interpolation) {
  qm_player_free(bridge.render);
  bridge.render = nullptr;
  bridge.rendered = 0;
  if (bridge.song == nullptr || qm_player_create(bridge.song, PLAYER_RATE, &bridge.render) != QM_OK) return -1;
  if (qm_player_set_interpolation(bridge.render, static_cast<qm_interpolation>(interpolation)) != QM_OK) return -1;
  uint64_t frames = 0;
  qm_song_measure(bridge.song, PLAYER_RATE, 0, 0, RENDER_MAX_FRAMES, &frames, nullptr);
  return static_cast<double>(frames);
}

// The next frames of the download into player_frames, never past an hour;
// 0 at the end.
EMSCRIPTEN_KEEPALIVE int player_render_next(int count) {
  if (bridge.render == nullptr || count < 1 || count > MAX_PULL) return 0;
  const uint64_t left = RENDER_MAX_FRAMES - bridge.rendered;
  if (static_cast<uint64_t>(count) > left) count = static_cast<int>(left);
  const int32_t got = count > 0 ? qm_player_render_s16(bridge.render, bridge.frames, count) : 0;
  bridge.rendered += static_cast<uint64_t>(got);
  return got;
}

EMSCRIPTEN_KEEPALIVE const int16_t* player_frames() { return bridge.frames; }

EMSCRIPTEN_KEEPALIVE void player_render_end() {
  qm_player_free(bridge.render);
  bridge.render = nullptr;
}

// The download's WAV header for frames frames of the players' output
// (16-bit stereo at PLAYER_RATE) into player_wav_header_bytes; returns its
// size.
EMSCRIPTEN_KEEPALIVE int player_wav_header(double frames) {
  const WavFormat format{PLAYER_CHANNELS, PLAYER_RATE, PLAYER_BITS, false};
  return static_cast<int>(wav_header(bridge.header, format, static_cast<uint64_t>(frames)));
}

EMSCRIPTEN_KEEPALIVE const unsigned char* player_wav_header_bytes() { return bridge.header; }

EMSCRIPTEN_KEEPALIVE int player_rate() { return PLAYER_RATE; }

}  // extern "C"
