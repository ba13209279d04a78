// player_api.cpp: the C functions of quillmere/music.h that play a song:
// players, the pull render, repeats, position, row callback, output shaping,
// and the measure of a playback without mixing.
// Owns: nothing beyond the players it creates (each one allocation).
// Thread: a player's calls on one thread at a time; songs are only read.
#include <cmath>
#include <cstdint>

#include "music/player.h"
#include "music/render.h"
#include "quillmere/music.h"

namespace qm {

namespace {

constexpr double MIN_GAIN_DB = -60.0;
constexpr double MAX_GAIN_DB = 24.0;
constexpr int32_t MAX_SEPARATION_PERCENT = 200;
constexpr double PERCENT = 100.0;
constexpr double DECIBELS_PER_DECADE = 20.0;

Player* unwrap(qm_player* player) { return reinterpret_cast<Player*>(player); }
const Player* unwrap(const qm_player* player) { return reinterpret_cast<const Player*>(player); }
const Module* unwrap(const qm_song* song) { return reinterpret_cast<const Module*>(song); }

// Order positions a restart or jump may name: those of the song.
bool valid_order(const Player* p, int32_t order) {
  int32_t length = p->song->song_length;
  return order >= 0 && order < (length > 0 ? length : 1) && order < ORDER_TABLE_SIZE;
}

}  // namespace

}  // namespace qm

extern "C" {

qm_status qm_player_create(const qm_song* song, int32_t rate, qm_player** player) {
  if (player == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  *player = nullptr;
  if (song == nullptr || rate < QM_MIN_RATE || rate > QM_MAX_RATE) return QM_ERROR_INVALID_ARGUMENT;
  qm::Player* p = qm::player_create(qm::unwrap(song), rate);
  if (p == nullptr) return QM_ERROR_OUT_OF_MEMORY;
  *player = reinterpret_cast<qm_player*>(p);
  return QM_OK;
}

void qm_player_free(qm_player* player) { qm::player_free(qm::unwrap(player)); }

int32_t qm_player_render_s16(qm_player* player, int16_t* frames, int32_t count) {
  return qm::render_s16(qm::unwrap(player), frames, count);
}

int32_t qm_player_render_f32(qm_player* player, float* frames, int32_t count) {
  return qm::render_f32(qm::unwrap(player), frames, count);
}

int32_t qm_player_block_frames(const qm_player* player) {
  const qm::Player* p = qm::unwrap(player);
  return p != nullptr ? p->block_frames : 0;
}

qm_status qm_player_set_repeat_count(qm_player* player, int32_t count) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || count < -1) return QM_ERROR_INVALID_ARGUMENT;
  p->repeat_count = count;
  p->repeats_left = count;
  return QM_OK;
}

qm_status qm_player_restart(qm_player* player, int32_t order) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || !qm::valid_order(p, order)) return QM_ERROR_INVALID_ARGUMENT;
  qm::player_restart(p, order);
  return QM_OK;
}

qm_status qm_player_jump(qm_player* player, int32_t order) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || !qm::valid_order(p, order)) return QM_ERROR_INVALID_ARGUMENT;
  qm::player_jump(p, order);
  return QM_OK;
}

qm_status qm_player_get_position(const qm_player* player, qm_position* position) {
  const qm::Player* p = qm::unwrap(player);
  if (position == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  *position = qm_position{};
  if (p == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  position->order = p->order;
  position->row = p->row;
  position->tick = p->last_tick;
  position->speed = p->speed;
  position->bpm = p->bpm;
  position->pass = p->pass;
  position->frame = p->frame;
  position->ended = p->ended ? 1 : 0;
  position->end_order = p->ended && p->end_found ? p->end_order : -1;
  position->end_row = p->ended && p->end_found ? p->end_row : -1;
  return QM_OK;
}

qm_status qm_player_set_row_callback(qm_player* player, qm_row_callback callback, void* user) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  p->row_callback = callback;
  p->row_user = user;
  return QM_OK;
}

qm_status qm_player_set_gain(qm_player* player, double decibels) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || !(decibels >= qm::MIN_GAIN_DB && decibels <= qm::MAX_GAIN_DB))
    return QM_ERROR_INVALID_ARGUMENT;
  p->gain = decibels == 0.0 ? 1.0f : static_cast<float>(std::pow(10.0, decibels / qm::DECIBELS_PER_DECADE));
  return QM_OK;
}

qm_status qm_player_set_stereo_separation(qm_player* player, int32_t percent) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || percent < 0 || percent > qm::MAX_SEPARATION_PERCENT) return QM_ERROR_INVALID_ARGUMENT;
  p->separation = static_cast<float>(percent / qm::PERCENT);
  return QM_OK;
}

qm_status qm_song_measure(const qm_song* song, int32_t rate, int32_t start, int32_t repeat_count,
                          uint64_t max_frames, uint64_t* frames, int32_t* ended) {
  if (frames != nullptr) *frames = 0;
  if (ended != nullptr) *ended = 0;
  if (song == nullptr || frames == nullptr || repeat_count < -1) return QM_ERROR_INVALID_ARGUMENT;
  if (rate < QM_MIN_RATE || rate > QM_MAX_RATE) return QM_ERROR_INVALID_ARGUMENT;
  qm::Player* p = qm::player_create(qm::unwrap(song), rate);
  if (p == nullptr) return QM_ERROR_OUT_OF_MEMORY;
  if (!qm::valid_order(p, start)) {
    qm::player_free(p);
    return QM_ERROR_INVALID_ARGUMENT;
  }
  p->repeat_count = repeat_count;
  qm::player_restart(p, start);
  *frames = qm::measure_frames(p, max_frames);
  if (ended != nullptr) *ended = p->end_found && p->end_frame <= max_frames ? 1 : 0;
  qm::player_free(p);
  return QM_OK;
}

}  // extern "C"
