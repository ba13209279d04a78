// channel.cpp: the replayer's shared small routines: the tempo, the note
// periods of both frequency tables, the channel reset for a new instrument and
// the volume column on the row tick.
// Owns: empty_instrument. Touches: the Channel and Player records it is
// given; reads the Module.
// Thread: the thread rendering the player.
#include "music/channel.h"

#include <cmath>
#include <algorithm>
#include <cstdint>

#include "music/player.h"

namespace qm {

const Instrument empty_instrument{};

// Single-precision constants of the tempo and period formulas, widened to
// double where they are used so the arithmetic itself runs in double.
constexpr float BPM_SCALE = 0.4f;             // bpm * 0.4 = ticks per second
constexpr float MILLISECOND = 0.001f;         // seconds per millisecond
constexpr float TWELFTH = 1.0f / 12.0f;       // 0.0833333358, one semitone of an octave
constexpr double AMIGA_BASE = 13.375;         // period of note 132 in the Amiga table
constexpr int32_t AMIGA_TOP_NOTE = 132;

// Note range fed to the Amiga formula: every real note (0..255 plus an
// arpeggio step of up to 15) lies inside; beyond 511 the period is 0 anyway,
// and below 0 the power would leave the 32-bit range.
constexpr int32_t AMIGA_NOTE_MIN = 0;
constexpr int32_t AMIGA_NOTE_MAX = 511;

constexpr int32_t LINEAR_TOP_PERIOD = 7680;   // period of note 0 in the linear table
constexpr int32_t LINEAR_SEMITONE = 64;       // period units per semitone

constexpr int32_t CENTRE_ENVELOPE_PAN = 32;
constexpr int32_t FADEOUT_FULL = 65536;
constexpr int WAVEFORM_KEEP_POSITION = 4;  // E4y/E7y: 4 and above keep the position at a new note

// A tick lasts 2500 / bpm ms: samples_per_tick = trunc(1000 / (bpm * 0.4) *
// mix_rate * 0.001). Double arithmetic on the single-precision constants gives
// exactly 110250 / bpm at 44,100 Hz for every bpm 1..255. A bpm below 1 counts
// as 1 (and is stored as 1), and the tick is never shorter than one frame.
void set_bpm(Player* player, int32_t bpm) {
  if (bpm < 1) bpm = 1;
  player->bpm = bpm;
  double frames = 1000.0 / (static_cast<double>(bpm) * static_cast<double>(BPM_SCALE)) *
                  static_cast<double>(player->mix_rate) * static_cast<double>(MILLISECOND);
  int32_t whole = frames >= 1.0 && frames < 2147483647.0 ? static_cast<int32_t>(frames) : 1;
  player->samples_per_tick = whole;
}

// trunc(2^((132 - note) / 12) * 13.375), the power and product in double.
static int32_t amiga_base(int32_t note) {
  double exponent = static_cast<double>(AMIGA_TOP_NOTE - note) * static_cast<double>(TWELFTH);
  return static_cast<int32_t>(std::pow(2.0, exponent) * AMIGA_BASE);
}

// The finetune moves the period a fraction f / 128 of the way towards the
// neighbouring note (one note down for negative f, one note up otherwise).
int32_t amiga_period(int32_t note, int32_t finetune) {
  note = clamp_to(note, AMIGA_NOTE_MIN, AMIGA_NOTE_MAX);
  finetune = clamp_to<int32_t>(finetune, INT8_MIN, INT8_MAX);
  int32_t base = amiga_base(note);
  if (finetune < 0 && note != 0) {
    int32_t lower = amiga_base(note - 1);
    return base + ((base - lower) * -finetune) / -128;
  }
  int32_t upper = amiga_base(note + 1);
  return base + ((base - upper) * finetune) / -128;
}

int32_t note_period(const Module* module, int32_t note, int32_t finetune) {
  if ((module->flags & MODULE_LINEAR_TABLE) == 0) return amiga_period(note, finetune);
  int64_t period = LINEAR_TOP_PERIOD - int64_t{LINEAR_SEMITONE} * note - finetune / 2;
  return saturate_int32(period);
}

static void restart_envelope(EnvelopeState* env, int32_t value) {
  env->value = value;
  env->point = 0;
  env->tick = 0;
  env->slope = 0;
  env->finished = 0;
}

void reset_channel(Channel* channel, const Sample* sample) {
  if (sample == nullptr) sample = &empty_sample;
  channel->volume = sample->volume;
  channel->panning = sample->panning;
  restart_envelope(&channel->volume_env, MAX_VOLUME);
  restart_envelope(&channel->panning_env, CENTRE_ENVELOPE_PAN);
  channel->released = 0;
  channel->fadeout_volume = FADEOUT_FULL;
  channel->auto_vibrato_sweep = 0;
  channel->auto_vibrato_pos = 0;
  if ((channel->waveforms & 0x0F) < WAVEFORM_KEEP_POSITION) channel->vibrato_pos = 0;
  if ((channel->waveforms >> 4) < WAVEFORM_KEEP_POSITION) channel->tremolo_pos = 0;
  channel->update_flags |= UPDATE_VOLUME | UPDATE_PAN;
  channel->tremor_count = 0;
}

void volume_column_row(Channel* channel, uint8_t volume_byte) {
  int32_t y = volume_byte & 0x0F;
  if (volume_byte >= VOLCOL_SET_FIRST && volume_byte <= VOLCOL_SET_LAST) {
    channel->volume = volume_byte - VOLCOL_SET_FIRST;
    channel->update_flags |= UPDATE_VOLUME;
    return;
  }
  switch (volume_command(volume_byte)) {
    case VOLCOL_SLIDE_DOWN:
    case VOLCOL_FINE_DOWN:
      // -y / +y: volume slide down or up, kept inside 0..64
      channel->volume = std::max(channel->volume - y, 0);
      channel->update_flags |= UPDATE_VOLUME;
      break;
    case VOLCOL_SLIDE_UP:
    case VOLCOL_FINE_UP:
      channel->volume = channel->volume > MAX_VOLUME - y ? MAX_VOLUME : channel->volume + y;
      channel->update_flags |= UPDATE_VOLUME;
      break;
    case VOLCOL_VIBRATO_SPEED:  // Sy: vibrato speed
      channel->vibrato_speed = static_cast<uint8_t>(y);
      break;
    case VOLCOL_VIBRATO_DEPTH:  // Vy: vibrato depth
      channel->vibrato_depth = static_cast<uint8_t>(y);
      break;
    case VOLCOL_SET_PANNING:  // Py: set panning
      channel->panning = 16 * y;
      channel->update_flags |= UPDATE_PAN;
      break;
    case VOLCOL_PAN_LEFT:  // Ly: panning slide left, clamped only by update_voice
      channel->panning = saturate_int32(int64_t{channel->panning} - y);
      channel->update_flags |= UPDATE_PAN;
      break;
    case VOLCOL_PAN_RIGHT:  // Ry: panning slide right, clamped only by update_voice
      channel->panning = saturate_int32(int64_t{channel->panning} + y);
      channel->update_flags |= UPDATE_PAN;
      break;
    case VOLCOL_TONE_PORTA:  // My: tone portamento towards the last note's period
      if (y != 0) channel->porta_speed = static_cast<uint8_t>(16 * y);
      channel->porta_target = channel->note_period;
      channel->update_flags &= static_cast<uint8_t>(~UPDATE_START);
      break;
    default:  // 0x00-0x0F and 0x51-0x5F: nothing
      break;
  }
}

}  // namespace qm
