// playback.cpp: the device thread's render step and the main thread's
// hand-over of a player. See playback.h.
// Owns: nothing. Thread: as marked in playback.h.
#include "tools/play/playback.h"

#include <cstdlib>

namespace {

constexpr int32_t FULL_SCALE = 32768;

// Raises peak to at least value; the main thread may reset it meanwhile.
void raise_peak(std::atomic<int32_t>* peak, int32_t value) {
  int32_t seen = peak->load(std::memory_order_relaxed);
  while (value > seen && !peak->compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
  }
}

void publish_levels(Playback* pb, const int16_t* frames, int32_t count) {
  int32_t left = 0, right = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t l = std::abs(static_cast<int32_t>(frames[2 * i]));
    const int32_t r = std::abs(static_cast<int32_t>(frames[2 * i + 1]));
    if (l > left) left = l;
    if (r > right) right = r;
  }
  raise_peak(&pb->peak_left, left < FULL_SCALE ? left : FULL_SCALE);
  raise_peak(&pb->peak_right, right < FULL_SCALE ? right : FULL_SCALE);
}

// Hands the channels whose bit changed from `applied` to `wanted` to set.
void apply_channels(qm_player* player, std::atomic<uint32_t>* wanted, std::atomic<uint32_t>* applied,
                    qm_status (*set)(qm_player*, int32_t, int32_t)) {
  const uint32_t now = wanted->load(std::memory_order_relaxed);
  const uint32_t changed = now ^ applied->load(std::memory_order_relaxed);
  for (int32_t c = 0; c < QM_MAX_CHANNELS; ++c)
    if ((changed >> c) & 1) set(player, c, static_cast<int32_t>((now >> c) & 1));
  applied->store(now, std::memory_order_relaxed);
}

// Applies the main thread's requests to the player. An order is sought, so
// it plays as the song reaches it from the start; a frame is sought
// exactly; either drops the fade, which is put back.
void apply_requests(Playback* pb, qm_player* player) {
  const double gain = pb->gain_db.load(std::memory_order_relaxed);
  if (gain != pb->applied_gain_db.load(std::memory_order_relaxed)) {
    qm_player_set_gain(player, gain);
    pb->applied_gain_db.store(gain, std::memory_order_relaxed);
  }
  apply_channels(player, &pb->muted, &pb->applied_muted, qm_player_set_channel_mute);
  apply_channels(player, &pb->soloed, &pb->applied_soloed, qm_player_set_channel_solo);
  const int32_t jump = pb->jump_to.exchange(NO_JUMP, std::memory_order_relaxed);
  if (jump != NO_JUMP) qm_player_seek(player, jump, 0);
  const int64_t seek = pb->seek_to.exchange(NO_SEEK, std::memory_order_relaxed);
  if (seek != NO_SEEK) qm_player_seek_frame(player, static_cast<uint64_t>(seek));
  const uint64_t fade = pb->fade_frames.load(std::memory_order_relaxed);
  if ((jump != NO_JUMP || seek != NO_SEEK) && fade > 0)
    qm_player_fade_out(player, pb->fade_end.load(std::memory_order_relaxed), fade);
}

// Frames the device may take before the end frame, at most count.
int32_t frames_before_end(const Playback* pb, const qm_player* player, int32_t count) {
  qm_position at{};
  qm_player_get_position(player, &at);
  const uint64_t end = pb->end_frame.load(std::memory_order_relaxed);
  if (at.frame >= end) return 0;
  return end - at.frame < static_cast<uint64_t>(count) ? static_cast<int32_t>(end - at.frame) : count;
}

void publish_position(Playback* pb, const qm_player* player) {
  qm_position at{};
  qm_player_get_position(player, &at);
  pb->order.store(at.order, std::memory_order_relaxed);
  pb->row.store(at.row, std::memory_order_relaxed);
  pb->frames.store(at.frame, std::memory_order_relaxed);
}

}  // namespace

void playback_start(Playback* pb, qm_player* player, const PlaybackSetup& setup) {
  pb->paused.store(false, std::memory_order_relaxed);
  pb->gain_db.store(setup.gain_db, std::memory_order_relaxed);
  pb->applied_gain_db.store(setup.gain_db, std::memory_order_relaxed);
  pb->jump_to.store(NO_JUMP, std::memory_order_relaxed);
  pb->seek_to.store(NO_SEEK, std::memory_order_relaxed);
  pb->muted.store(setup.muted, std::memory_order_relaxed);
  pb->applied_muted.store(setup.muted, std::memory_order_relaxed);
  pb->soloed.store(setup.soloed, std::memory_order_relaxed);
  pb->applied_soloed.store(setup.soloed, std::memory_order_relaxed);
  pb->end_frame.store(setup.end_frame, std::memory_order_relaxed);
  pb->fade_end.store(setup.fade_end, std::memory_order_relaxed);
  pb->fade_frames.store(setup.fade_frames, std::memory_order_relaxed);
  publish_position(pb, player);
  pb->peak_left.store(0, std::memory_order_relaxed);
  pb->peak_right.store(0, std::memory_order_relaxed);
  pb->ended.store(false, std::memory_order_relaxed);
  pb->buffers_after_end.store(0, std::memory_order_relaxed);
  pb->player.store(player, std::memory_order_release);
}

void playback_stop(Playback* pb) { pb->player.store(nullptr, std::memory_order_release); }

bool playback_finished(const Playback& pb) {
  return pb.ended.load(std::memory_order_acquire) &&
         pb.buffers_after_end.load(std::memory_order_relaxed) >= BUFFERS_AFTER_END;
}

void playback_take_peaks(Playback* pb, int32_t* left, int32_t* right) {
  *left = pb->peak_left.exchange(0, std::memory_order_relaxed);
  *right = pb->peak_right.exchange(0, std::memory_order_relaxed);
}

int32_t playback_pull(void* user, int16_t* frames, int32_t count) {
  auto* pb = static_cast<Playback*>(user);
  qm_player* player = pb->player.load(std::memory_order_acquire);
  if (player == nullptr) return 0;
  if (pb->ended.load(std::memory_order_relaxed)) {
    pb->buffers_after_end.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  apply_requests(pb, player);
  if (pb->paused.load(std::memory_order_relaxed)) {
    publish_position(pb, player);  // a seek made while paused shows, and the next one steps from it
    return 0;
  }
  const int32_t ask = frames_before_end(pb, player, count);
  const int32_t written = ask > 0 ? qm_player_render_s16(player, frames, ask) : 0;
  publish_levels(pb, frames, written);
  publish_position(pb, player);
  if (written < count) pb->ended.store(true, std::memory_order_release);
  return written;
}
