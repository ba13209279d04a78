// channel.h: the replayer's per-channel state and the routines both kinds of
// tick share: tempo, note periods, the channel reset, the row-tick volume column.
// Owns: empty_instrument. Thread: the thread rendering the player.
#pragma once
#include <cstdint>
#include "music/module.h"

namespace qm {

struct Voice;
struct Player;

// Pending-update bits of Channel::update_flags, applied by update_voice.
constexpr uint8_t UPDATE_FREQUENCY = 0x01;
constexpr uint8_t UPDATE_VOLUME = 0x02;
constexpr uint8_t UPDATE_PAN = 0x04;
constexpr uint8_t UPDATE_START = 0x08;
constexpr uint8_t UPDATE_REWIND = 0x20;


struct EnvelopeState {
  int32_t tick;        // ticks since the envelope started (x units)
  int32_t point;       // index of the point reached next
  int32_t value_fixed; // current value, 16.16
  int32_t value;       // value_fixed >> 16, 0..64
  int32_t slope;       // change of value_fixed per tick, 16.16
  uint8_t finished;    // 1 once the last point was reached
};

struct Channel {
  uint8_t note;              // last note, 0-based
  uint8_t update_flags;      // UPDATE_* bits pending for update_voice
  Voice* voice;              // the voice this channel drives
  int32_t period;            // current period (table units)
  int32_t volume;            // 0..64 normally (C may store up to 255)
  int32_t panning;           // 0..255 normally, 128 centre
  int32_t volume_offset;     // tremolo/tremor change, this tick only
  int32_t period_offset;     // vibrato/arpeggio/auto-vibrato change, this tick only
  EnvelopeState volume_env;  // value 0..64, 64 full
  EnvelopeState panning_env; // value 0..64, 32 centre
  int32_t fadeout_volume;    // 65536 at note start, down to 0 after key-off
  int32_t auto_vibrato_pos;  // 0..255
  int32_t auto_vibrato_sweep; // ticks since note start, held at the sweep
  uint8_t released;          // 1 after a key-off
  uint8_t instrument;        // selected instrument, 0-based
  uint8_t real_note;         // note + relative note, 0-based, mod 256
  int32_t note_period;       // period of the last note; tone-portamento target
  uint8_t last_effect;       // effect number of the previous row
  int32_t sample_offset;     // memory of effect 9, units of 256 frames
  uint8_t porta_down_speed;  // memory of effect 2
  uint8_t porta_up_speed;    // memory of effect 1
  uint8_t extra_fine_down;   // memory of X2y
  uint8_t extra_fine_up;     // memory of X1y
  uint8_t volume_slide;      // memory of A, 5, 6
  uint8_t panning_slide;     // memory of P
  uint8_t retrig_volume;     // R's x
  uint8_t retrig_interval;   // R's y, ticks
  int32_t porta_target;      // tone-portamento target period
  uint8_t porta_speed;       // period moves 4 * porta_speed per tick
  int8_t vibrato_pos;        // -32..31
  uint8_t vibrato_speed;     // added to vibrato_pos per tick
  uint8_t vibrato_depth;     // 0..15
  int8_t tremolo_pos;        // -32..31
  uint8_t tremolo_speed;     // added to tremolo_pos per tick
  uint8_t tremolo_depth;     // 0..15
  uint8_t tremor_count;      // tick counter of the tremor cycle
  uint8_t tremor_on;         // audible ticks per cycle (x + 1)
  uint8_t tremor_off;        // silent ticks per cycle (y + 1)
  int32_t loop_row;          // pattern-loop start row
  int32_t loop_count;        // pattern-loop repetitions still to play
  uint8_t waveforms;         // low nibble vibrato control, high nibble tremolo control
  uint8_t fine_volume_slide; // memory of EAy/EBy
  uint8_t fine_porta_up;     // memory of E1y
  uint8_t fine_porta_down;   // memory of E2y
  uint8_t mix_controlled;    // 1: mix_gain scales the voice volume (the player's channel controls)
  float mix_gain;            // 0 (muted) .. 1, used only when mix_controlled is 1
};

// Shared all-zero instrument for unset channels; read only.
extern const Instrument empty_instrument;

// Sets the player's bpm and samples_per_tick from its mix_rate (always at
// least 1 frame).
void set_bpm(Player* player, int32_t bpm);
// Amiga-table period of a 0-based note with a finetune.
int32_t amiga_period(int32_t note, int32_t finetune);
// Period of a 0-based note in the module's table (linear or Amiga).
int32_t note_period(const Module* module, int32_t note, int32_t finetune);
// The channel reset for a new instrument, with the selected sample.
void reset_channel(Channel* channel, const Sample* sample);
// The volume column on the row tick.
void volume_column_row(Channel* channel, uint8_t volume_byte);

}  // namespace qm
