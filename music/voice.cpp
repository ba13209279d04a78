// voice.cpp: turns a channel's pending-update bits into changes of its mixer
// voice: note start with the twin-voice handover, volume, panning, frequency
// and step, rewind; and the volume again when the player's channel controls
// change.
// Owns: nothing. Touches: the player's voice table (the channel's voice and
// its twin), the channel's voice pointer and its UPDATE_FREQUENCY bit; reads
// the player's mix_rate and global volume and the song's frequency table.
// Thread: the thread rendering the player, inside a replayer tick.
#include <cmath>
#include <cstdint>

#include "music/channel.h"
#include "music/player.h"
#include "music/voice.h"

namespace qm {

// 255 / 2^35: turns volume 64 * envelope 64 * fadeout 65536 * global 64 = 2^34
// into 127.5, so full volume gives 127 on the 0..255 gain scale.
constexpr float VOLUME_SCALE = 7.4214768e-9f;
static_assert(static_cast<double>(VOLUME_SCALE) == 255.0 / 34359738368.0, "exact 255 / 2^35");

// The volume is kept inside 0..MAX_VOICE_VOLUME. Every value the replayer can
// produce from a file (up to about 510 with a channel volume of 255) lies
// inside; the bound keeps applied gains x 256 far inside 32 bits.
constexpr int32_t MAX_VOICE_VOLUME = 32767;

constexpr float LINEAR_OCTAVE_INV = 0.0013020834f;  // nearest float to 1/768
constexpr int32_t LINEAR_MIDDLE_PERIOD = 4608;      // period of 8363 Hz
constexpr double LINEAR_MIDDLE_FREQUENCY = 8363.0;
constexpr int64_t AMIGA_CLOCK = 14317056;           // Hz x period in the Amiga table

constexpr int32_t MIN_FREQUENCY = 100;  // Hz; keeps the step far from 0
// The step stays below MAX_STEP_FRAMES whole frames per output frame (at most
// 128 * mix_rate - 1 Hz; 5,644,799 Hz at 44,100 Hz). The mixer's chunk count
// works with steps below 256 frames; real notes need less than 32.
constexpr int64_t MAX_STEP_FRAMES = 128;

constexpr int32_t PAN_CENTRE = 128;
constexpr int32_t PAN_MAX = 255;
constexpr int32_t ENVELOPE_PAN_CENTRE = 32;

static int32_t twin_slot(int32_t index) {
  return index < TWIN_DISTANCE ? index + TWIN_DISTANCE : index - TWIN_DISTANCE;
}

// Target gains: pan 255 is all left, pan 0 all right.
static void set_gains(Voice* v) {
  int64_t volume = v->mix_volume;
  int64_t pan = v->mix_pan;
  v->gain_left = static_cast<int32_t>(pan * volume / PAN_MAX);
  v->gain_right = static_cast<int32_t>((PAN_MAX - pan) * volume / PAN_MAX);
}

// A start on a sounding voice moves the channel to the twin slot: the twin
// receives the whole voice, and the old slot keeps playing its sound with
// target gains 0 so that the mixer fades it out.
static Voice* start_note(Player* player, Channel* channel, const Sample* sample) {
  Voice* v = &player->voices[channel->voice->index];
  if (v->sample != nullptr) {
    int32_t twin = twin_slot(v->index);
    Voice* t = &player->voices[twin];
    *t = *v;
    t->index = twin;
    v->volume = 0;
    v->mix_volume = 0;
    v->gain_left = 0;
    v->gain_right = 0;
    channel->voice = t;
    v = t;
  }
  if (sample == nullptr) sample = &empty_sample;
  v->sample = sample;
  uint64_t loop_end = uint64_t{sample->loop_start} + sample->loop_length;
  if (v->start_offset >= loop_end) v->start_offset = 0;
  v->pos_int = v->start_offset;
  v->pos_frac = 0;
  v->wrapped = false;
  v->direction = DIRECTION_FORWARD;
  v->start_offset = 0;
  v->cur_gain_left = 0;
  v->cur_gain_right = 0;
  v->ramp_frames = 0;
  return v;
}

static void apply_volume(Voice* v, const Channel* channel, const Player* player) {
  double product = static_cast<double>(int64_t{channel->volume} + channel->volume_offset) *
                   static_cast<double>(channel->volume_env.value) *
                   static_cast<double>(channel->fadeout_volume) *
                   static_cast<double>(player->global_volume) * static_cast<double>(VOLUME_SCALE);
  // The player's channel controls (mute, solo, volume) scale the volume here,
  // before the gains, so that the mixer ramps every change.
  if (channel->mix_controlled) product *= static_cast<double>(channel->mix_gain);
  // Only hostile values reach outside the range; NaN cannot arise from integers.
  int32_t vol = 0;
  if (product >= MAX_VOICE_VOLUME) vol = MAX_VOICE_VOLUME;
  else if (product > 0.0) vol = static_cast<int32_t>(product);
  v->mix_volume = vol;
  v->volume = vol;
  set_gains(v);
}

// The panning envelope swings the pan by up to 4 x 32 around the centre, less
// near the edges: f = (128 - |p - 128|) / 32 is 0 for pans 0..31 and 225..255.
static void apply_pan(Voice* v, const Channel* channel) {
  int64_t p = channel->panning;
  int64_t distance = p > PAN_CENTRE ? p - PAN_CENTRE : PAN_CENTRE - p;
  int64_t f = (PAN_CENTRE - distance) / 32;
  int64_t swung = f * (int64_t{channel->panning_env.value} - ENVELOPE_PAN_CENTRE) + p;
  int32_t pan = swung < 0 ? 0 : swung > PAN_MAX ? PAN_MAX : static_cast<int32_t>(swung);
  v->mix_pan = pan;
  v->pan = pan;
  set_gains(v);
}

// Frequency in Hz, truncated toward zero and held inside 32 bits.
// The linear table's frequency of a period: 8363 Hz x 2^(units / 768).
static int32_t linear_frequency(int64_t exponent_units) {
  double exponent = static_cast<double>(exponent_units) * static_cast<double>(LINEAR_OCTAVE_INV);
  double freq = LINEAR_MIDDLE_FREQUENCY * std::pow(2.0, exponent);
  if (freq >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(freq);  // the power is positive, never below 0
}

// A frequency in Hz and the step it gives at mix_rate (none without a rate).
static Pitch pitch_of(int32_t freq, int32_t mix_rate) {
  Pitch pitch{freq, 0, 0};
  if (mix_rate < 1) return pitch;
  int64_t f = freq < MIN_FREQUENCY ? MIN_FREQUENCY : freq;
  int64_t rate = mix_rate;
  if (f >= MAX_STEP_FRAMES * rate) f = MAX_STEP_FRAMES * rate - 1;
  uint64_t whole = static_cast<uint64_t>(f) / static_cast<uint64_t>(rate);
  uint64_t rest = static_cast<uint64_t>(f) % static_cast<uint64_t>(rate);
  pitch.step_int = static_cast<uint32_t>(whole);
  pitch.step_frac = static_cast<uint32_t>((rest << 32) / static_cast<uint64_t>(rate));
  return pitch;
}

// The channel's frequency, truncated toward zero and held inside 32 bits,
// with its step. In the linear table it is a pure function of the period, so
// the player keeps the ones it worked out: vibratos and slides come back to
// the same few periods tick after tick, and the power is the dearest step.
static Pitch channel_pitch(const Channel* channel, Player* player) {
  int64_t period = int64_t{channel->period} + channel->period_offset;
  if ((player->song->flags & MODULE_LINEAR_TABLE) == 0) {
    return pitch_of(static_cast<int32_t>(AMIGA_CLOCK / period), player->mix_rate);  // period is never 0 here
  }
  // The offset is added: +64 raises the pitch by one semitone.
  int64_t exponent_units = LINEAR_MIDDLE_PERIOD - int64_t{channel->period} + channel->period_offset;
  FrequencyMemo& memo = player->frequencies[static_cast<uint64_t>(exponent_units) % FREQUENCY_MEMO_SLOTS];
  if (!memo.known || memo.units != exponent_units) {
    memo = FrequencyMemo{exponent_units, pitch_of(linear_frequency(exponent_units), player->mix_rate), true};
  }
  return memo.pitch;
}

static void apply_frequency(Voice* v, const Channel* channel, Player* player) {
  const Pitch pitch = channel_pitch(channel, player);
  v->frequency = pitch.frequency;
  if (player->mix_rate < 1) return;  // no output rate: no step to compute
  v->step_int = pitch.step_int;
  v->step_frac = pitch.step_frac;
}

void refresh_voice_volume(Player* player, Channel* channel) {
  if (channel->voice != nullptr) apply_volume(channel->voice, channel, player);
}

void update_voice(Player* player, Channel* channel, const Sample* sample) {
  if (int64_t{channel->period} + channel->period_offset == 0) {
    channel->update_flags &= static_cast<uint8_t>(~UPDATE_FREQUENCY);
  }
  if (channel->voice == nullptr) return;  // nothing to drive
  uint8_t flags = channel->update_flags;
  Voice* v = channel->voice;
  if (flags & UPDATE_START) v = start_note(player, channel, sample);
  if (flags & UPDATE_VOLUME) apply_volume(v, channel, player);
  if (flags & UPDATE_PAN) apply_pan(v, channel);
  if (flags & UPDATE_FREQUENCY) apply_frequency(v, channel, player);
  if (flags & UPDATE_REWIND) {
    // Back to frame 0, playing forward: a voice that was moving backward
    // through a ping-pong loop starting after frame 0 would otherwise run
    // off the front of the sample.
    v->pos_int = 0;
    v->pos_frac = 0;
    v->wrapped = false;
    v->start_offset = 0;
    v->direction = DIRECTION_FORWARD;
  }
}

}  // namespace qm
