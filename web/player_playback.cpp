// player_playback.cpp: the module player's playback: a player of the page's
// song played through the Web Audio device (its output pulls the frames
// straight from the player: no ring, so pause, seek and the controls take
// effect within the output's short queue), its controls (loop, gain, stereo
// separation, seeking to a frame or an order at the song's own tempo there,
// channel mute and solo), and what is being heard: the output plays a
// little behind what the player rendered, so each chunk the output takes
// (with the channels' levels after it) and each row the player reports is
// noted, and the page is told the song position, order, row and channel
// levels of the frame at the output now.
// Owns: the playback player, the sound device and the notes of the last
// chunks and rows. Touches: the song of player_bridge.cpp, the library's C
// API, the Web Audio device.
// Thread: the page's main thread only (the output's thread only plays the
// chunks the page posts it).
#include <emscripten.h>

#include <cstdint>
#include <string>

#include "runtime/audio_web.h"
#include "tools/common/json_writer.h"
#include "web/player_bridge.h"

namespace {

constexpr int32_t CHUNK_MARKS = 64;   // chunks noted: far more than the output holds ahead
constexpr int32_t ROW_MARKS = 256;    // rows noted: the fastest song plays about 100 a second
constexpr double DEFAULT_GAIN_DB = 0.0;
constexpr int32_t DEFAULT_SEPARATION = 100;  // percent: the song as mixed
constexpr double MAX_SEEK_FRAME = 24.0 * 3600 * PLAYER_RATE;  // the engine seeks up to a day
// Chunks the output holds ahead: about 140 ms, half as much again as the
// show's, for the page's views share its main thread with the refills. A
// mute or a volume change is heard that much later; a seek or a pause at once.
constexpr int32_t PLAYER_CHUNKS_AHEAD = 6;

// A few of the latest notes, oldest first.
template <typename T, int32_t N>
struct Marks {
  T items[N];
  int32_t first = 0;  // index of the oldest
  int32_t count = 0;
  void clear() { first = count = 0; }
  void push(const T& item) {
    items[(first + count) % N] = item;
    if (count < N) ++count; else first = (first + 1) % N;
  }
  const T& at(int32_t i) const { return items[(first + i) % N]; }
};

struct ChunkMark {
  uint64_t device;  // frames the output had taken from the playback before this chunk
  uint64_t song;    // the song frame of the chunk's first frame
  float levels[QM_MAX_CHANNELS];  // each channel's peak in the chunk's last block, 1.0 = full scale
};

struct RowMark {
  uint64_t frame;   // the song frame where the row starts
  int32_t order;
  int32_t row;
};

struct Playback {
  qm_player* player = nullptr;        // the playback; null until play and after the song goes
  qm::AudioDevice* audio = nullptr;   // the sound device, open from the first play on
  std::string problem;                // why no sound plays, or ""
  bool loop = false;                  // play the song forever
  double gain_db = DEFAULT_GAIN_DB;   // kept from one song to the next
  int32_t separation = DEFAULT_SEPARATION;
  qm_interpolation interpolation = QM_INTERPOLATION_LINEAR;  // kept from one song to the next
  Marks<ChunkMark, CHUNK_MARKS> chunks;
  Marks<RowMark, ROW_MARKS> rows;
  std::string text;                   // the last JSON handed to the page
  float heard_levels[QM_MAX_CHANNELS];  // what player_levels hands the page
};

Playback playback;

void on_row(void*, const qm_row_event* event) {
  playback.rows.push(RowMark{event->frame, event->order, event->row});
}

// The device's source: the playback's next frames, each chunk noted.
int32_t playback_pull(void*, int16_t* frames, int32_t count) {
  if (playback.player == nullptr) return 0;
  qm_position at{};
  qm_player_get_position(playback.player, &at);
  ChunkMark mark{playback.audio->frames_played(playback.audio->self), at.frame, {}};
  const int32_t got = qm_player_render_s16(playback.player, frames, count);
  qm_player_get_channel_levels(playback.player, mark.levels, QM_MAX_CHANNELS);
  playback.chunks.push(mark);
  return got;
}

// Opens the device on the first call (within the visitor's gesture, when a
// browser lets sound start) with the playback as its source.
bool open_audio() {
  if (playback.audio != nullptr) return true;
  playback.audio = qm::web_audio_device_create();
  if (playback.audio == nullptr) {
    playback.problem = "out of memory";
    return false;
  }
  qm::web_audio_set_ahead(playback.audio, PLAYER_CHUNKS_AHEAD);
  if (playback.audio->open(playback.audio->self, PLAYER_RATE, 0, &playback.problem) != qm::AUDIO_OK) {
    qm::web_audio_device_destroy(playback.audio);
    playback.audio = nullptr;
    return false;
  }
  playback.problem.clear();
  return true;
}

// Forgets what was noted and what waits in the output: after a move, the
// next chunk is the first the visitor hears.
void forget_heard() {
  playback.chunks.clear();
  playback.rows.clear();
  if (playback.audio != nullptr) qm::web_audio_flush(playback.audio);
}

// The chunk at the output now: the last one it began to play; null before
// the first chunk after a start or a move.
const ChunkMark* heard_chunk() {
  if (playback.chunks.count == 0) return nullptr;
  const uint64_t heard = qm::web_audio_frames_heard(playback.audio);
  const ChunkMark* mark = &playback.chunks.at(0);
  for (int32_t i = 1; i < playback.chunks.count && playback.chunks.at(i).device <= heard; ++i) {
    mark = &playback.chunks.at(i);
  }
  return mark;
}

// The song frame at the output now: the frame of the chunk being played,
// plus how far into it the output is, never past what was rendered.
uint64_t heard_song_frame(const qm_position& rendered) {
  const ChunkMark* mark = heard_chunk();
  if (mark == nullptr) return rendered.frame;
  const uint64_t heard = qm::web_audio_frames_heard(playback.audio);
  const uint64_t frame = mark->song + (heard > mark->device ? heard - mark->device : 0);
  return frame < rendered.frame ? frame : rendered.frame;
}

}  // namespace

void playback_release() {
  if (playback.audio != nullptr) playback.audio->reset(playback.audio->self);
  qm_player_free(playback.player);
  playback.player = nullptr;
  playback.chunks.clear();
  playback.rows.clear();
}

extern "C" {

// Makes the sound output's context ahead of the first play (see
// web_audio_prepare); the page's Module.qmAudioPrepared settles when it is
// ready.
EMSCRIPTEN_KEEPALIVE void player_prepare_audio() { qm::web_audio_prepare(PLAYER_RATE); }

// Starts the song from its first order, paused: forever when loop is on,
// one pass otherwise. The first call opens the sound output (call it within
// the visitor's gesture). 0 without a song or when no sound can play
// (player_sound_problem says why).
EMSCRIPTEN_KEEPALIVE int player_play() {
  playback_release();
  const qm_song* song = bridge_song();
  if (song == nullptr || !open_audio()) return 0;
  if (qm_player_create(song, PLAYER_RATE, &playback.player) != QM_OK) {
    playback.problem = "out of memory";
    return 0;
  }
  qm_player_set_repeat_count(playback.player, playback.loop ? -1 : 0);
  qm_player_set_gain(playback.player, playback.gain_db);
  qm_player_set_stereo_separation(playback.player, playback.separation);
  qm_player_set_interpolation(playback.player, playback.interpolation);
  qm_player_set_row_callback(playback.player, on_row, nullptr);
  qm_player_set_metering(playback.player, 1);
  playback.audio->pause(playback.audio->self, true);
  playback.audio->start(playback.audio->self, qm::pull_source(playback_pull, nullptr));
  return 1;
}

// Why the last play found no sound output; "" when it played.
EMSCRIPTEN_KEEPALIVE const char* player_sound_problem() { return playback.problem.c_str(); }

// Sound on (paused 0) or off (1); takes effect at once.
EMSCRIPTEN_KEEPALIVE void player_pause(int paused) {
  if (playback.audio != nullptr && playback.player != nullptr) playback.audio->pause(playback.audio->self, paused != 0);
}

// Ends the playback: the output falls silent.
EMSCRIPTEN_KEEPALIVE void player_stop() { playback_release(); }

EMSCRIPTEN_KEEPALIVE void player_set_loop(int loop) {
  playback.loop = loop != 0;
  if (playback.player != nullptr) qm_player_set_repeat_count(playback.player, playback.loop ? -1 : 0);
}

// Gain of the whole mix in dB (-60 .. 24) and stereo separation in percent
// (0 .. 200), kept for the songs that follow. 0 for a value out of range.
EMSCRIPTEN_KEEPALIVE int player_set_gain(double decibels) {
  if (!(decibels >= -60.0 && decibels <= 24.0)) return 0;
  playback.gain_db = decibels;
  if (playback.player != nullptr) qm_player_set_gain(playback.player, decibels);
  return 1;
}

EMSCRIPTEN_KEEPALIVE int player_set_separation(int percent) {
  if (percent < 0 || percent > 200) return 0;
  playback.separation = percent;
  if (playback.player != nullptr) qm_player_set_stereo_separation(playback.player, percent);
  return 1;
}

// The interpolation (a qm_interpolation), kept for the songs that follow;
// heard from the next block. 0 for an unknown one.
EMSCRIPTEN_KEEPALIVE int player_set_interpolation(int mode) {
  if (mode < QM_INTERPOLATION_LINEAR || mode > QM_INTERPOLATION_SINC8) return 0;
  playback.interpolation = static_cast<qm_interpolation>(mode);
  if (playback.player != nullptr) qm_player_set_interpolation(playback.player, playback.interpolation);
  return 1;
}

// The interpolation the playing song is mixed with; -1 without a playback.
EMSCRIPTEN_KEEPALIVE int player_interpolation() {
  return playback.player != nullptr ? qm_player_get_interpolation(playback.player) : -1;
}

// Goes on at an order position's first row as the song reaches it from
// its start (its speed, tempo and voices there), heard at once; the song
// time goes on from that row's frame. 0 without a playback or for an order
// the song lacks.
EMSCRIPTEN_KEEPALIVE int player_seek_order(int order) {
  if (playback.player == nullptr || qm_player_seek(playback.player, order, 0) != QM_OK) return 0;
  forget_heard();
  return 1;
}

// Goes on at a frame of the song's time as a playback from the start
// stands there, heard at once; at or past the end the playback ends. 0
// without a playback or for a frame that is negative or beyond a day.
EMSCRIPTEN_KEEPALIVE int player_seek_frame(double frame) {
  if (playback.player == nullptr || !(frame >= 0 && frame <= MAX_SEEK_FRAME)) return 0;
  if (qm_player_seek_frame(playback.player, static_cast<uint64_t>(frame)) != QM_OK) return 0;
  forget_heard();
  return 1;
}

// Channel (from 0) muted (1) or not (0), soloed (1) or not (0); heard
// within the output's queue. The playback's channels start unmuted and
// unsoloed: the page sets them again after each play. 0 without a playback
// or for a channel the song lacks.
EMSCRIPTEN_KEEPALIVE int player_set_mute(int channel, int muted) {
  return playback.player != nullptr && qm_player_set_channel_mute(playback.player, channel, muted != 0) == QM_OK;
}

EMSCRIPTEN_KEEPALIVE int player_set_solo(int channel, int soloed) {
  return playback.player != nullptr && qm_player_set_channel_solo(playback.player, channel, soloed != 0) == QM_OK;
}

// The channels' levels at the output now (QM_MAX_CHANNELS floats, 1.0 =
// full scale, 0 for channels the song lacks); all 0 when nothing plays or
// the output has not begun the chunk after a move.
EMSCRIPTEN_KEEPALIVE const float* player_levels() {
  const ChunkMark* mark = playback.player != nullptr ? heard_chunk() : nullptr;
  for (int32_t c = 0; c < QM_MAX_CHANNELS; ++c) playback.heard_levels[c] = mark != nullptr ? mark->levels[c] : 0.0f;
  return playback.heard_levels;
}

// Where the playback's render stands (ahead of what is heard by the
// output's queue), as JSON: order, row, pass, ended, frame; "null" when
// nothing plays.
EMSCRIPTEN_KEEPALIVE const char* player_position() {
  qm_position at{};
  if (qm_player_get_position(playback.player, &at) != QM_OK) return "null";
  JsonWriter j;
  json_begin_object(&j);
  json_int_field(&j, "order", at.order);
  json_int_field(&j, "row", at.row);
  json_int_field(&j, "pass", at.pass);
  json_int_field(&j, "ended", at.ended);
  json_int_field(&j, "frame", static_cast<int64_t>(at.frame));
  json_end_object(&j);
  playback.text = j.text;
  return playback.text.c_str();
}

// What the visitor hears now, as JSON: frame (the song frame at the
// output), order, row, ended (1 once the output has played the last frame
// of a playback that ended); "null" when nothing plays.
EMSCRIPTEN_KEEPALIVE const char* player_heard() {
  qm_position rendered{};
  if (playback.player == nullptr || qm_player_get_position(playback.player, &rendered) != QM_OK) return "null";
  const uint64_t frame = heard_song_frame(rendered);
  // The row being heard; just after a move, the first row noted there.
  RowMark row = playback.rows.count > 0 ? playback.rows.at(0) : RowMark{frame, rendered.order, rendered.row};
  for (int32_t i = 1; i < playback.rows.count && playback.rows.at(i).frame <= frame; ++i) row = playback.rows.at(i);
  JsonWriter j;
  json_begin_object(&j);
  json_int_field(&j, "frame", static_cast<int64_t>(frame));
  json_int_field(&j, "order", row.order);
  json_int_field(&j, "row", row.row);
  json_int_field(&j, "ended", rendered.ended && frame >= rendered.frame);
  json_end_object(&j);
  playback.text = j.text;
  return playback.text.c_str();
}

}  // extern "C"
