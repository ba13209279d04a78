// mix_api.cpp: the C functions of quillmere/music.h that shape a player's
// mix: gain and stereo separation, per-channel mute, solo and volume, the
// channel levels and the fade-out (mix_controls.h does the work).
// Owns: nothing. Thread: a player's calls on one thread at a time.
#include <cmath>
#include <cstdint>

#include "music/mix_controls.h"
#include "music/player.h"
#include "quillmere/music.h"

namespace qm {

namespace {

constexpr double MIN_GAIN_DB = -60.0;
constexpr double MAX_GAIN_DB = 24.0;
constexpr int32_t MAX_SEPARATION_PERCENT = 200;
constexpr double PERCENT = 100.0;
constexpr double DECIBELS_PER_DECADE = 20.0;

Player* unwrap(qm_player* player) { return reinterpret_cast<Player*>(player); }

// A channel the song has; null player or channel out of range: false.
bool song_channel(const Player* p, int32_t channel) {
  return p != nullptr && channel >= 0 && channel < p->song->channel_count && channel < CHANNEL_COUNT;
}

// Gain and separation set before anything is mixed hold from the first frame.
void settle_before_start(Player* p) {
  if (p->mix_end != 0) return;
  p->controls.gain_now = p->controls.gain;
  p->controls.separation_now = p->controls.separation;
}

enum class ChannelFlag { MUTE, SOLO };

// Sets one channel's mute or solo flag and brings the voices up to date.
qm_status set_channel_flag(qm_player* player, int32_t channel, int32_t value, ChannelFlag which) {
  Player* p = unwrap(player);
  if (!song_channel(p, channel) || value < 0 || value > 1) return QM_ERROR_INVALID_ARGUMENT;
  uint8_t* flags = which == ChannelFlag::MUTE ? p->controls.muted : p->controls.soloed;
  flags[channel] = static_cast<uint8_t>(value);
  channel_controls_changed(p);
  return QM_OK;
}

}  // namespace

}  // namespace qm

extern "C" {

qm_status qm_player_set_gain(qm_player* player, double decibels) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || !(decibels >= qm::MIN_GAIN_DB && decibels <= qm::MAX_GAIN_DB))
    return QM_ERROR_INVALID_ARGUMENT;
  p->controls.gain =
      decibels == 0.0 ? 1.0f : static_cast<float>(std::pow(10.0, decibels / qm::DECIBELS_PER_DECADE));
  qm::settle_before_start(p);
  return QM_OK;
}

qm_status qm_player_set_stereo_separation(qm_player* player, int32_t percent) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || percent < 0 || percent > qm::MAX_SEPARATION_PERCENT) return QM_ERROR_INVALID_ARGUMENT;
  p->controls.separation = static_cast<float>(percent / qm::PERCENT);
  qm::settle_before_start(p);
  return QM_OK;
}

qm_status qm_player_set_channel_mute(qm_player* player, int32_t channel, int32_t muted) {
  return qm::set_channel_flag(player, channel, muted, qm::ChannelFlag::MUTE);
}

qm_status qm_player_set_channel_solo(qm_player* player, int32_t channel, int32_t soloed) {
  return qm::set_channel_flag(player, channel, soloed, qm::ChannelFlag::SOLO);
}

qm_status qm_player_set_channel_volume(qm_player* player, int32_t channel, float volume) {
  qm::Player* p = qm::unwrap(player);
  if (!qm::song_channel(p, channel) || !(volume >= 0.0f && volume <= 1.0f)) return QM_ERROR_INVALID_ARGUMENT;
  p->controls.volume[channel] = volume;
  qm::channel_controls_changed(p);
  return QM_OK;
}

qm_status qm_player_set_metering(qm_player* player, int32_t enabled) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr || enabled < 0 || enabled > 1) return QM_ERROR_INVALID_ARGUMENT;
  p->controls.metering = enabled == 1;
  qm::clear_levels(&p->controls);
  return QM_OK;
}

qm_status qm_player_get_channel_levels(const qm_player* player, float* levels, int32_t count) {
  const auto* p = reinterpret_cast<const qm::Player*>(player);
  if (p == nullptr || levels == nullptr || count < 0) return QM_ERROR_INVALID_ARGUMENT;
  for (int32_t i = 0; i < count; ++i) {
    levels[i] = i < p->song->channel_count && i < qm::CHANNEL_COUNT ? p->controls.levels[i] : 0.0f;
  }
  return QM_OK;
}

qm_status qm_player_fade_out(qm_player* player, uint64_t end_frame, uint64_t frames) {
  qm::Player* p = qm::unwrap(player);
  if (p == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  qm::set_fade(p, end_frame, frames);
  return QM_OK;
}

}  // extern "C"
