// player_api.cpp: the C functions of quillmere/music.h that play a song:
// players, the pull render, repeats, position, seeking, restart and jump,
// the row callback, and the measure of a playback without mixing. Calls
// that reposition the player from inside its row callback are kept and
// carried out at the next row tick (render.cpp).
// Owns: nothing beyond the players it creates (each one allocation).
// Thread: a player's calls on one thread at a time; songs are only read.
#include <cstddef>
#include <cstdint>

#include "music/api_sized.h"
#include "music/player.h"
#include "music/render.h"
#include "music/row.h"
#include "music/seek.h"
#include "quillmere/music.h"

namespace qm {

namespace {

// The first layouts of the structs that grow: up to their last field then.
constexpr size_t POSITION_FIRST_SIZE = offsetof(qm_position, end_row) + sizeof(int32_t);
constexpr size_t MEASURE_FIRST_SIZE = offsetof(qm_measure, end_row) + sizeof(int32_t);
constexpr uint64_t SEEK_LIMIT_SECONDS = 24 * 3600;
constexpr uint32_t KNOWN_MEASURE_FLAGS = QM_MEASURE_FIRST_PASS;

Player* unwrap(qm_player* player) { return reinterpret_cast<Player*>(player); }
const Player* unwrap(const qm_player* player) { return reinterpret_cast<const Player*>(player); }
const Module* unwrap(const qm_song* song) { return reinterpret_cast<const Module*>(song); }

// Order positions a restart, jump or seek may name: those of the song.
bool valid_order(const Module* song, int32_t order) {
  int32_t length = song->song_length;
  return order >= 0 && order < (length > 0 ? length : 1) && order < ORDER_TABLE_SIZE;
}

double seconds_of(uint64_t frames, int32_t rate) { return static_cast<double>(frames) / rate; }

// Repositions the player now, or, asked from inside its row callback, at the
// next row tick (render.cpp carries it out).
qm_status reposition(Player* p, const PendingMove& move) {
  if (p->in_callback) {
    p->pending = move;
  } else {
    move_player(p, move);
  }
  return QM_OK;
}

// Runs a measure on a fresh player from where qm_player_seek(start, 0) puts
// a player: the frames from there, and whether a pass ended within them;
// null when no player can be made.
Player* measured_player(const Module* song, int32_t rate, int32_t start, int32_t repeat_count, uint64_t max_frames,
                        bool first_pass, uint64_t* frames, bool* pass_ended) {
  Player* p = player_create(song, rate);
  if (p == nullptr) return nullptr;
  p->repeat_count = first_pass ? 0 : repeat_count;
  player_restart(p, 0);
  uint64_t from = 0;
  if (!run_to_row(p, start, 0, &from)) {
    player_restart(p, start);  // never reached: the seek starts there afresh
    from = 0;
  }
  const uint64_t limit = max_frames > UINT64_MAX - from ? UINT64_MAX : from + max_frames;
  *frames = measure_frames(p, limit) - from;
  *pass_ended = p->end_found && p->end_frame <= limit;
  return p;
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

qm_status qm_player_set_float_scale(qm_player* player, qm_float_scale scale) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || (scale != QM_FLOAT_SCALE_PCM16 && scale != QM_FLOAT_SCALE_UNIT)) return QM_ERROR_INVALID_ARGUMENT;
  p->controls.unit_floats = scale == QM_FLOAT_SCALE_UNIT;
  return QM_OK;
}

qm_status qm_player_set_interpolation(qm_player* player, qm_interpolation mode) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  switch (mode) {
    case QM_INTERPOLATION_LINEAR: p->interpolation = qm::INTERPOLATION_LINEAR; return QM_OK;
    case QM_INTERPOLATION_CUBIC: p->interpolation = qm::INTERPOLATION_CUBIC; return QM_OK;
    case QM_INTERPOLATION_SINC8: p->interpolation = qm::INTERPOLATION_SINC8; return QM_OK;
  }
  return QM_ERROR_INVALID_ARGUMENT;
}

qm_interpolation qm_player_get_interpolation(const qm_player* player) {
  const qm::Player* p = qm::unwrap(player);
  if (p == nullptr) return QM_INTERPOLATION_LINEAR;
  switch (p->interpolation) {
    case qm::INTERPOLATION_CUBIC: return QM_INTERPOLATION_CUBIC;
    case qm::INTERPOLATION_SINC8: return QM_INTERPOLATION_SINC8;
    default: return QM_INTERPOLATION_LINEAR;
  }
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
  if (p->mix_end > 0) p->from_start = false;  // a playback from the start would have counted differently
  return QM_OK;
}

qm_status qm_player_get_position(const qm_player* player, qm_position* position) {
  const qm::Player* p = qm::unwrap(player);
  if (p == nullptr || position == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  qm_position at{};
  at.size = sizeof at;
  at.order = p->order;
  at.row = p->row;
  at.tick = p->last_tick;
  at.speed = p->speed;
  at.bpm = p->bpm;
  at.pass = p->pass;
  at.frame = p->frame;
  at.seconds = qm::seconds_of(p->frame, p->mix_rate);
  at.pass_frame = p->pass_frame;
  at.ended = p->ended ? 1 : 0;
  at.end_order = p->ended && p->end_found ? p->end_order : -1;
  at.end_row = p->ended && p->end_found ? p->end_row : -1;
  return qm::fill_sized(position, at, qm::POSITION_FIRST_SIZE) ? QM_OK : QM_ERROR_INVALID_ARGUMENT;
}

qm_status qm_player_seek_frame(qm_player* player, uint64_t frame) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || frame > qm::SEEK_LIMIT_SECONDS * static_cast<uint64_t>(p->mix_rate))
    return QM_ERROR_INVALID_ARGUMENT;
  return qm::reposition(p, qm::PendingMove{qm::Move::SEEK_FRAME, 0, 0, frame});
}

qm_status qm_player_seek(qm_player* player, int32_t order, int32_t row) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || !qm::valid_order(p->song, order) || row < 0 || row >= qm::rows_at_order(p->song, order))
    return QM_ERROR_INVALID_ARGUMENT;
  return qm::reposition(p, qm::PendingMove{qm::Move::SEEK_ROW, order, row, 0});
}

qm_status qm_player_restart(qm_player* player, int32_t order) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || !qm::valid_order(p->song, order)) return QM_ERROR_INVALID_ARGUMENT;
  return qm::reposition(p, qm::PendingMove{qm::Move::RESTART, order, 0, 0});
}

qm_status qm_player_jump(qm_player* player, int32_t order) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || !qm::valid_order(p->song, order)) return QM_ERROR_INVALID_ARGUMENT;
  return qm::reposition(p, qm::PendingMove{qm::Move::JUMP, order, 0, 0});
}

qm_status qm_player_set_row_callback(qm_player* player, qm_row_callback callback, void* user) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  p->row_callback = callback;
  p->row_user = user;
  return QM_OK;
}

qm_status qm_song_measure_ex(const qm_song* song, int32_t rate, int32_t start, int32_t repeat_count,
                             uint64_t max_frames, uint32_t flags, qm_measure* result) {
  if (song == nullptr || result == nullptr || repeat_count < -1 || (flags & ~qm::KNOWN_MEASURE_FLAGS) != 0 ||
      rate < QM_MIN_RATE || rate > QM_MAX_RATE || !qm::valid_order(qm::unwrap(song), start))
    return QM_ERROR_INVALID_ARGUMENT;
  const bool first_pass = (flags & QM_MEASURE_FIRST_PASS) != 0;
  qm_measure found{};
  found.size = sizeof found;
  bool pass_ended = false;
  qm::Player* p = qm::measured_player(qm::unwrap(song), rate, start, repeat_count, max_frames, first_pass,
                                      &found.frames, &pass_ended);
  if (p == nullptr) return QM_ERROR_OUT_OF_MEMORY;
  found.seconds = qm::seconds_of(found.frames, rate);
  found.ended = pass_ended && (!first_pass || repeat_count == 0) ? 1 : 0;
  found.passes = p->pass + (pass_ended ? 1 : 0);
  found.end_order = pass_ended ? p->end_order : -1;
  found.end_row = pass_ended ? p->end_row : -1;
  qm::player_free(p);
  return qm::fill_sized(result, found, qm::MEASURE_FIRST_SIZE) ? QM_OK : QM_ERROR_INVALID_ARGUMENT;
}

qm_status qm_song_measure(const qm_song* song, int32_t rate, int32_t start, int32_t repeat_count,
                          uint64_t max_frames, uint64_t* frames, int32_t* ended) {
  if (frames != nullptr) *frames = 0;
  if (ended != nullptr) *ended = 0;
  if (frames == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  qm_measure result{};
  const qm_status status = qm_song_measure_ex(song, rate, start, repeat_count, max_frames, 0, &result);
  if (status != QM_OK) return status;
  *frames = result.frames;
  if (ended != nullptr) *ended = result.ended;
  return QM_OK;
}

uint32_t qm_version_number(void) { return QM_VERSION; }

}  // extern "C"
