// mix_controls.cpp: the player's mixing controls (see mix_controls.h):
// channel mute, solo and volume turned into the factor update_voice scales a
// channel's volume by; gain, stereo separation and the fade on mixed blocks;
// and the channel level meter, which reads the sample frames each voice
// passes over in a piece instead of touching the mixer's loops.
// Owns: nothing beyond each Player's MixControls.
// Thread: the thread that uses the player.
#include "music/mix_controls.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "music/render.h"
#include "music/voice.h"

namespace qm {

namespace {

constexpr double GAIN_UNIT = 1.0 / 255.0;          // voice gain 255 is unity
constexpr double APPLIED_GAIN_UNIT = 1.0 / (255.0 * 256.0);  // applied gains are x 256
constexpr float PCM_FULL_SCALE = 32768.0f;

// The largest |frame| of data[from..to], both held to the sample's frames.
int32_t peak_between(const Sample* s, int64_t from, int64_t to) {
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, int64_t{s->length} - 1);
  int32_t peak = 0;
  for (int64_t i = from; i <= to; ++i) {
    const int32_t v = s->data[i];
    peak = std::max(peak, v < 0 ? -v : v);
  }
  return peak;
}

// The peak of the frames a voice reads in `frames` output frames from its
// mark: whole frames `whole` .. whole + span (the interpolation reads one
// past the last position), folded into the loop as the mixer wraps or
// reflects at its ends.
int32_t covered_peak(const VoiceMark& m, int32_t frames) {
  const Sample* s = m.sample;
  if (s->data == nullptr || s->length == 0 || frames <= 0) return 0;
  const auto whole = static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(m.pos >> 32)));
  const auto moved = static_cast<uint64_t>(frames - 1) * m.step + (m.pos & 0xFFFFFFFFu);
  const int64_t span = static_cast<int64_t>(moved >> 32) + 1;
  const int64_t start = s->loop_start;
  const int64_t end = start + s->loop_length;  // loop end, or the sample's end
  const bool loops = s->loop_length > 0 && (s->loop_type == LOOP_FORWARD || s->loop_type == LOOP_PINGPONG);
  if (m.direction == DIRECTION_BACKWARD && loops) {
    if (whole - span >= start) return peak_between(s, whole - span, whole + 1);
    const int64_t beyond = start - (whole - span);  // frames reflected at the loop start
    return peak_between(s, start, std::max(whole + 1, start + beyond));
  }
  if (!loops || whole + span < end) return peak_between(s, whole, whole + span);
  const int64_t beyond = whole + span - end;  // frames past the loop end
  if (beyond >= s->loop_length) return peak_between(s, std::min(whole, start), end - 1);
  const int32_t before = peak_between(s, whole, end - 1);
  if (s->loop_type == LOOP_FORWARD) return std::max(before, peak_between(s, start, start + beyond));
  return std::max(before, peak_between(s, end - 1 - beyond, end - 1));
}

}  // namespace

void reset_controls(MixControls* c) {
  *c = MixControls{};
  c->gain = c->gain_now = 1.0f;
  c->separation = c->separation_now = 1.0f;
  std::fill(std::begin(c->volume), std::end(c->volume), 1.0f);
}

float channel_factor(const MixControls& c, int32_t channel) {
  if (c.muted[channel]) return 0.0f;
  const bool any_solo = std::any_of(std::begin(c.soloed), std::end(c.soloed), [](uint8_t s) { return s != 0; });
  if (any_solo && !c.soloed[channel]) return 0.0f;
  return c.volume[channel];
}

void apply_channel_controls(Player* p) {
  for (int32_t i = 0; i < CHANNEL_COUNT; ++i) {
    const float factor = channel_factor(p->controls, i);
    p->channels[i].mix_gain = factor;
    p->channels[i].mix_controlled = factor != 1.0f ? 1 : 0;
  }
}

void channel_controls_changed(Player* p) {
  for (int32_t i = 0; i < CHANNEL_COUNT; ++i) {
    Channel& c = p->channels[i];
    const float factor = channel_factor(p->controls, i);
    const float before = c.mix_controlled ? c.mix_gain : 1.0f;
    if (factor == before) continue;
    c.mix_gain = factor;
    c.mix_controlled = factor != 1.0f ? 1 : 0;
    refresh_voice_volume(p, &c);
    // A playback from the start would have had the new factor all along.
    if (p->mix_end > 0) p->from_start = false;
  }
}

void settle_controls(Player* p) {
  MixControls& c = p->controls;
  c.gain_now = c.gain;
  c.separation_now = c.separation;
  c.fade_end = 0;
  c.fade_frames = 0;
  c.block_faded = false;
  clear_levels(&c);
}

void clear_levels(MixControls* c) {
  std::fill(std::begin(c->levels), std::end(c->levels), 0.0f);
  std::fill(std::begin(c->voice_peaks), std::end(c->voice_peaks), 0.0f);
}

void shape_block(Player* p, float* block, int32_t frames) {
  MixControls& c = p->controls;
  const float gain_from = c.gain_now, separation_from = c.separation_now;
  const float gain = c.gain, separation = c.separation;
  c.gain_now = gain;
  c.separation_now = separation;
  const bool steady = gain_from == gain && separation_from == separation;
  if (steady && gain == 1.0f && separation == 1.0f) return;
  float* f = block;
  for (int32_t i = 0; i < frames; ++i, f += 2) {
    float g = gain, s = separation;
    if (!steady) {
      // Frame i of a change moves (i + 1) / frames of the way: the last
      // frame has the new values, exactly.
      const double t = static_cast<double>(i + 1) / static_cast<double>(frames);
      g = static_cast<float>(gain_from + (static_cast<double>(gain) - gain_from) * t);
      s = static_cast<float>(separation_from + (static_cast<double>(separation) - separation_from) * t);
    }
    const float mid = (f[0] + f[1]) * 0.5f;
    const float side = (f[0] - f[1]) * 0.5f * s;
    f[0] = (mid + side) * g;
    f[1] = (mid - side) * g;
  }
}

void apply_fade(const MixControls& c, float* values, uint64_t first, int32_t frames) {
  if (c.fade_frames == 0) return;
  const uint64_t start = c.fade_end - std::min(c.fade_frames, c.fade_end);
  for (int32_t f = 0; f < frames; ++f) {
    const uint64_t i = first + static_cast<uint64_t>(f);
    if (i < start || i >= c.fade_end) continue;
    double gain = 0.0;
    if (c.fade_frames > 1 && i + 1 < c.fade_end) {
      gain = static_cast<double>(c.fade_end - 1 - i) / static_cast<double>(c.fade_frames - 1);
    }
    values[2 * f] = static_cast<float>(values[2 * f] * gain);
    values[2 * f + 1] = static_cast<float>(values[2 * f + 1] * gain);
  }
}

uint64_t fade_stop(const MixControls& c) { return c.fade_frames > 0 ? c.fade_end : UINT64_MAX; }

void set_fade(Player* p, uint64_t end_frame, uint64_t frames) {
  MixControls& c = p->controls;
  c.fade_end = frames > 0 ? end_frame : 0;
  c.fade_frames = frames;
  if (p->in_callback) return;  // the block being mixed is faded when it is shaped
  const int32_t unread = p->block_valid - p->block_read;
  if (frames > 0 && !c.block_faded && unread > 0) {
    apply_fade(c, p->mix_block + static_cast<size_t>(p->block_read) * 2, p->frame, unread);
    c.block_faded = true;
    p->pcm_ready = false;
  }
  // The block holds the frames from block_start to mix_end; the playback
  // may now stop inside it, or later than it did.
  const uint64_t stop = stop_frame(p);
  const uint64_t mixed = p->mix_end - p->block_start;
  const uint64_t playable = stop > p->block_start ? std::min(stop - p->block_start, mixed) : 0;
  p->block_valid = static_cast<int32_t>(std::max<uint64_t>(playable, static_cast<uint64_t>(p->block_read)));
  p->ended = stop <= p->frame;
}

void mark_voices(const Player* p, VoiceMark marks[MIXED_VOICES]) {
  for (int32_t i = 0; i < MIXED_VOICES; ++i) {
    const Voice& v = p->voices[i];
    VoiceMark& m = marks[i];
    m.sample = v.sample;
    if (v.sample == nullptr) continue;
    m.pos = (uint64_t{v.pos_int} << 32) | v.pos_frac;
    m.step = (uint64_t{v.step_int} << 32) | v.step_frac;
    m.direction = v.direction;
    // A ramp moves the applied gain in a straight line to the target.
    const double applied = std::max(v.cur_gain_left, v.cur_gain_right) * APPLIED_GAIN_UNIT;
    const double target = std::max(v.gain_left, v.gain_right) * GAIN_UNIT;
    m.gain = static_cast<float>(std::max(applied, target));
  }
}

void meter_piece(Player* p, const VoiceMark marks[MIXED_VOICES], int32_t frames) {
  for (int32_t i = 0; i < MIXED_VOICES; ++i) {
    const VoiceMark& m = marks[i];
    if (m.sample == nullptr || m.gain <= 0.0f) continue;
    const float level = static_cast<float>(covered_peak(m, frames)) * m.gain / PCM_FULL_SCALE;
    p->controls.voice_peaks[i] = std::max(p->controls.voice_peaks[i], level);
  }
}

void publish_levels(Player* p) {
  MixControls& c = p->controls;
  // Channel i drives voice i and its twin i + 32 (a note fading out while
  // the next fades in); the sum of their peaks bounds what they play together.
  for (int32_t i = 0; i < CHANNEL_COUNT; ++i) c.levels[i] = c.voice_peaks[i] + c.voice_peaks[i + TWIN_DISTANCE];
  std::fill(std::begin(c.voice_peaks), std::end(c.voice_peaks), 0.0f);
}

}  // namespace qm
