// player_bridge.cpp: what the module player page calls of the music library:
// load a song from bytes the page hands over, describe it, play it through
// the Web Audio device (its callback pulls the frames straight from the
// player: no ring, so pause takes effect within a callback), and render a
// second player's whole pass for a WAV download with the tools' WAV header.
// JSON through the tools' JSON writer, the same as xmrender --info --json.
// Owns: the page's one song, its playback player, its render player, the
// sound device and the buffers the page reads from. Touches: the library's
// C API, the Web Audio device and the tools' kit.
// Thread: the page's main thread only (a browser without shared memory runs
// the audio callback there too).
#include <emscripten.h>
#include <quillmere/music.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/audio_web.h"
#include "tools/common/json_writer.h"
#include "tools/common/wav_header.h"

namespace {

constexpr int32_t PLAYER_RATE = 44100;                      // frames per second of both players
constexpr uint64_t RENDER_MAX_FRAMES = 3600ull * PLAYER_RATE; // a download stops after an hour
constexpr int32_t MAX_PULL = 16384;                         // frames one render call fills at most
constexpr size_t MAX_FILE_BYTES = 64u << 20;                // larger files are refused before loading
constexpr int32_t DEVICE_FRAMES = 1024;                      // about 23 ms at 44,100 Hz
constexpr int PLAYER_CHANNELS = 2;
constexpr int PLAYER_BITS = 16;                             // what qm_player_render_s16 gives

struct Bridge {
  qm_song* song = nullptr;        // the loaded song; null before a load and after a refusal
  qm_player* playback = nullptr;  // what the page plays; null until play
  qm_player* render = nullptr;    // the download's player; null outside a render
  qm::AudioDevice* audio = nullptr; // the sound device, open from the first play on
  uint64_t rendered = 0;          // frames the render player has given
  uint8_t* file = nullptr;        // the bytes of the file being handed over
  std::string text;               // the last text handed to the page
  int16_t frames[2 * MAX_PULL];   // what the last render call filled
  unsigned char header[WAV_MAX_HEADER_BYTES];  // the download's WAV header
};

Bridge bridge;

void free_players() {
  qm_player_free(bridge.playback);
  qm_player_free(bridge.render);
  bridge.playback = nullptr;
  bridge.render = nullptr;
}

int32_t render_into(qm_player* player, int32_t count) {
  if (player == nullptr || count < 1 || count > MAX_PULL) return 0;
  return qm_player_render_s16(player, bridge.frames, count);
}

// The device's source: the playback's next frames (none without one).
int32_t playback_pull(void*, int16_t* frames, int32_t count) {
  return bridge.playback != nullptr ? qm_player_render_s16(bridge.playback, frames, count) : 0;
}

// Opens the device on the first call (within the visitor's gesture, when a
// browser lets sound start) with the playback as its source.
bool open_audio() {
  if (bridge.audio != nullptr) return true;
  bridge.audio = qm::web_audio_device_create();
  if (bridge.audio == nullptr) return false;
  if (bridge.audio->open(bridge.audio->self, PLAYER_RATE, DEVICE_FRAMES, nullptr) != qm::AUDIO_OK) {
    qm::web_audio_device_destroy(bridge.audio);
    bridge.audio = nullptr;
    return false;
  }
  bridge.audio->start(bridge.audio->self, qm::pull_source(playback_pull, nullptr));
  return true;
}

}  // namespace

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
// song before it. Returns the library's status; on a refusal
// player_load_error says why. The file buffer is released either way.
EMSCRIPTEN_KEEPALIVE int player_load(double size) {
  free_players();
  qm_song_free(bridge.song);
  bridge.song = nullptr;
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

// The loaded song as JSON: name, tracker, channels, orders, patterns,
// speed, tempo, instruments (name and sample count) and warnings; "null"
// without a song.
EMSCRIPTEN_KEEPALIVE const char* player_describe() {
  qm_song_info info{};
  if (qm_song_get_info(bridge.song, &info) != QM_OK) return "null";
  JsonWriter j;
  json_begin_object(&j);
  json_string_field(&j, "name", info.name);
  json_string_field(&j, "tracker", info.tracker);
  json_int_field(&j, "channels", info.channels);
  json_int_field(&j, "length", info.length);
  json_int_field(&j, "patterns", info.patterns);
  json_int_field(&j, "speed", info.speed);
  json_int_field(&j, "bpm", info.bpm);
  json_key(&j, "instruments");
  json_begin_array(&j);
  for (int32_t i = 0; i < info.instruments; ++i) {
    qm_instrument_info instrument{};
    qm_song_get_instrument(bridge.song, i, &instrument);
    json_begin_object(&j);
    json_string_field(&j, "name", instrument.name);
    json_int_field(&j, "samples", instrument.samples);
    json_end_object(&j);
  }
  json_end_array(&j);
  json_key(&j, "warnings");
  json_begin_array(&j);
  for (int32_t i = 0; i < qm_song_warning_count(bridge.song); ++i) json_string(&j, qm_song_warning_text(bridge.song, i));
  json_end_array(&j);
  json_end_object(&j);
  bridge.text = j.text;
  return bridge.text.c_str();
}

// Starts the playback from the song's first order: forever when loop is 1,
// one pass otherwise. 0 without a song.
EMSCRIPTEN_KEEPALIVE int player_play(int loop) {
  qm_player_free(bridge.playback);
  bridge.playback = nullptr;
  if (bridge.song == nullptr || qm_player_create(bridge.song, PLAYER_RATE, &bridge.playback) != QM_OK) return 0;
  qm_player_set_repeat_count(bridge.playback, loop ? -1 : 0);
  return 1;
}

EMSCRIPTEN_KEEPALIVE void player_set_loop(int loop) {
  if (bridge.playback != nullptr) qm_player_set_repeat_count(bridge.playback, loop ? -1 : 0);
}

// Goes on at an order position's first row, as the song reaches it from its
// start (its own tempo there), with the next frame.
EMSCRIPTEN_KEEPALIVE int player_seek(int order) {
  return bridge.playback != nullptr && qm_player_seek(bridge.playback, order, 0) == QM_OK;
}

// Sound on (paused 0) or off (1). The first call for sound opens the
// device (call it within the visitor's gesture). 0 when the browser offers
// no sound output.
EMSCRIPTEN_KEEPALIVE int player_audio_pause(int paused) {
  if (paused != 0 && bridge.audio == nullptr) return 1;
  if (!open_audio()) return 0;
  bridge.audio->pause(bridge.audio->self, paused != 0);
  return 1;
}

// 1 once the playback has handed out its last frame.
EMSCRIPTEN_KEEPALIVE int player_finished() {
  qm_position at{};
  return qm_player_get_position(bridge.playback, &at) == QM_OK && at.ended ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const int16_t* player_frames() { return bridge.frames; }

// The playback's position as JSON: order, row, pass, ended, frame; "null"
// when nothing plays.
EMSCRIPTEN_KEEPALIVE const char* player_position() {
  qm_position at{};
  if (qm_player_get_position(bridge.playback, &at) != QM_OK) return "null";
  JsonWriter j;
  json_begin_object(&j);
  json_int_field(&j, "order", at.order);
  json_int_field(&j, "row", at.row);
  json_int_field(&j, "pass", at.pass);
  json_int_field(&j, "ended", at.ended);
  json_int_field(&j, "frame", static_cast<int64_t>(at.frame));
  json_end_object(&j);
  bridge.text = j.text;
  return bridge.text.c_str();
}

// Starts a render of one pass of the song from its start, as a fresh
// player plays it, for a download. Returns the pass's length in frames (at
// most an hour), or -1 without a song.
EMSCRIPTEN_KEEPALIVE double player_render_begin() {
  qm_player_free(bridge.render);
  bridge.render = nullptr;
  bridge.rendered = 0;
  if (bridge.song == nullptr || qm_player_create(bridge.song, PLAYER_RATE, &bridge.render) != QM_OK) return -1;
  uint64_t frames = 0;
  int32_t ended = 0;
  qm_song_measure(bridge.song, PLAYER_RATE, 0, 0, RENDER_MAX_FRAMES, &frames, &ended);
  return static_cast<double>(frames);
}

// The next frames of the download into player_frames, never past an hour;
// 0 at the end.
EMSCRIPTEN_KEEPALIVE int player_render_next(int count) {
  if (bridge.render == nullptr) return 0;
  uint64_t left = RENDER_MAX_FRAMES - bridge.rendered;
  if (static_cast<uint64_t>(count) > left) count = static_cast<int>(left);
  int32_t got = render_into(bridge.render, count);
  bridge.rendered += static_cast<uint64_t>(got);
  return got;
}

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
