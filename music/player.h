// player.h: one playback of a song. A Player holds everything that changes
// while a song plays: the song position and tempo, the 32 channels, the 256
// mixer voices, the finetunes that effect E5y sets, the block being mixed,
// the pass detection and the output shaping. The song itself is only read.
// Owns: its one allocation (the record and its two block buffers).
// Thread: one thread at a time per player; players share nothing mutable.
//
//   Player* p = player_create(song, 44100);   // null: bad rate or no memory
//   int32_t n = render_s16(p, frames, count); // render.h; fewer only at the end
//   player_free(p);
#pragma once
#include <cstddef>
#include <cstdint>

#include "music/channel.h"
#include "music/interpolate.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/voice.h"
#include "quillmere/music.h"

namespace qm {

// Frames per mixed block at rate: 20 ms raised to a multiple of 4 frames.
constexpr int32_t block_frames_at(int32_t rate) { return (rate * 20 / 1000 + 3) & ~3; }

// The row ticks a pass has played, to find where the song comes back to a
// row it played: every (order, row) with all pattern-loop counters at 0 in
// a bit set, the rarer states inside pattern loops in a fixed hash table.
constexpr int32_t PLAYED_ROW_BITS = 256 * 256;
constexpr int32_t LOOP_STATE_SLOTS = 1024;

struct LoopState {
  uint16_t position;       // order * 256 + row
  uint8_t used;            // 1 when the slot holds a state
  uint64_t counters[2];    // every channel's pattern-loop counter, 4 bits each
};

struct PlayedRows {
  uint64_t bits[PLAYED_ROW_BITS / 64]; // (order, row) played with no loop counter set
  LoopState states[LOOP_STATE_SLOTS];  // states with some counter set; full: not recorded
  int32_t state_count;                 // used slots
};

// A repositioning asked for from the row callback: a jump goes on at the
// next row tick; the others take effect where the next row would start.
enum class Move : uint8_t { NONE, JUMP, SEEK_ROW, SEEK_FRAME, RESTART };

struct PendingMove {
  Move kind;      // NONE when nothing is asked for
  int32_t order;  // JUMP, SEEK_ROW, RESTART: the order position
  int32_t row;    // JUMP, SEEK_ROW: the row
  uint64_t frame; // SEEK_FRAME: frames from the start of the song
};

// The player's mixing controls (qm_player_set_gain and its neighbours) and
// what they keep between blocks. The defaults change no byte of the mix.
struct MixControls {
  float gain;                   // linear gain asked for, 1 = none
  float separation;             // side-signal factor asked for, 1 = the mix as it is
  float gain_now;               // gain the last mixed block ended with
  float separation_now;         // separation the last mixed block ended with
  uint8_t muted[CHANNEL_COUNT]; // 1: the channel is silent
  uint8_t soloed[CHANNEL_COUNT];// 1: soloed; while any is, only soloed channels sound
  float volume[CHANNEL_COUNT];  // 0..1, 1 = as the song plays it
  uint64_t fade_end;            // frame where a fade reaches silence and the playback stops
  uint64_t fade_frames;         // frames of the fade, 0 = no fade
  bool block_faded;             // the block being handed out has the fade applied
  bool unit_floats;             // render_f32 hands out +-1.0 full scale, not +-32768
  bool metering;                // channel levels are measured
  float levels[CHANNEL_COUNT];  // peak of each channel in the last mixed block, 1 = full scale
  float voice_peaks[MIXED_VOICES]; // peak of each mixed voice in the block being mixed
};

// Pitches of the linear table already worked out: a power per period is the
// replayer's dearest step, and a pitch comes back to the same periods.
constexpr int32_t FREQUENCY_MEMO_SLOTS = 256;

// A frequency and the step it gives at the player's rate.
struct Pitch {
  int32_t frequency;  // Hz, before the 100 Hz floor
  uint32_t step_int;  // whole frames per output frame
  uint32_t step_frac; // fraction, units of 2^-32
};

struct FrequencyMemo {
  int64_t units; // 4608 - period: the exponent of 2^(units / 768)
  Pitch pitch;   // what the linear table gives for it
  bool known;    // the slot holds a pitch
};

struct Player {
  const Module* song;        // the song played; never written

  // Output sizes.
  int32_t mix_rate;          // output frames per second, QM_MIN_RATE..QM_MAX_RATE
  int32_t block_frames;      // frames per mixed block (884 at 44,100 Hz)
  int32_t ramp_length;       // frames per gain ramp (128 at 44,100 Hz), >= 1
  float ramp_length_inv;     // 1 / ramp_length
  SteadyMixer steady_loop;   // the fastest steady loop this processor runs, chosen at creation
  RampMixer ramp_loop;       // its gain-ramp loop; null where it has none
  Interpolation interpolation; // how the voices are interpolated; linear from creation

  // Song position and tempo.
  int32_t tick_frames_left;  // output frames until the next tick
  int32_t samples_per_tick;  // output frames per tick, >= 1
  int32_t global_volume;     // 0..64
  uint8_t global_volume_slide; // memory of effect H
  int32_t tick;              // tick within the row to process next, 0 = row tick
  int32_t speed;             // ticks per row
  int32_t bpm;               // tempo, >= 1
  int32_t row;               // row being played
  int32_t order;             // order position being played
  int32_t pattern_delay;     // extra ticks of the current row
  int32_t next_row;          // row at the next row tick, -1 undecided
  int32_t next_order;        // order at the next row tick, -1 keep
  bool position_jump_mark;   // a B on this row set the order; a later D keeps it
  int32_t loop_jump_row;     // row a pattern loop on this row goes back to, -1 none

  Channel channels[CHANNEL_COUNT];
  Voice voices[VOICE_COUNT];
  int8_t finetune[MAX_SAMPLE_NUMBERS];     // E5y's finetune per sample number
  uint8_t finetune_set[MAX_SAMPLE_NUMBERS]; // 1 where E5y has set it

  // Rendering.
  float* mix_block;          // block_frames stereo floats, 64-byte aligned
  int16_t* pcm_block;        // the same block converted to 16 bits
  bool pcm_ready;            // pcm_block holds mix_block's conversion
  int32_t block_valid;       // frames of the block that belong to the playback
  int32_t block_read;        // frames of the block already handed out
  uint64_t frame;            // frame of the song handed out next (frames since the start)
  uint64_t block_start;      // frame of the block's first frame
  uint64_t mix_end;          // frame the replayer and the voices have reached
  uint64_t next_tick_frame;  // frame where the next tick falls
  int32_t last_tick;         // the tick processed last
  int32_t repeat_count;      // passes to play after the first; -1 forever
  int32_t repeats_left;      // passes still to play after this one; -1 forever
  int32_t pass;              // passes completed
  uint64_t pass_frame;       // frame where the current pass began
  bool end_found;            // the row tick that ends the playback is mixed
  uint64_t end_frame;        // its frame
  int32_t end_order, end_row; // its order position and row
  bool ended;                // every frame of the playback is handed out

  // Row reports and repositioning.
  qm_row_callback row_callback; // may be null
  void* row_user;            // handed to row_callback
  uint64_t report_from;      // rows starting before this frame are not reported (a seek skipped them)
  bool in_callback;          // row_callback is running
  PendingMove pending;       // asked for from row_callback
  bool move_due;             // the block ends where pending takes effect
  bool from_start;           // the state is that of a playback from order 0 with the current
                             // settings, on its block grid: a seek may go on from it

  MixControls controls;
  PlayedRows played;
  FrequencyMemo frequencies[FREQUENCY_MEMO_SLOTS]; // by units modulo the slots
};

// Bytes of the one allocation of a player at rate (record and block buffers).
size_t player_allocation_bytes(int32_t rate);
// Creates a player of song at rate, at the start of the song, set to play it
// once. Null for a rate outside QM_MIN_RATE..QM_MAX_RATE or without memory.
Player* player_create(const Module* song, int32_t rate);
void player_free(Player* player);
// Back to the start state at order position `order` (frame 0, fresh
// channels and voices, no finetune set, the pass record cleared, no fade,
// nothing pending). The settings and controls stay.
void player_restart(Player* player, int32_t order);
// Goes on at `order`, row `row`, with the next frame, keeping the channels.
void player_jump(Player* player, int32_t order, int32_t row);
// Makes the row tick after the current row play `order`, `row`, keeping the
// channels and every frame mixed so far: a jump asked for from the row callback.
void player_jump_at_next_row(Player* player, int32_t order, int32_t row);

// The pass record: forgets every row played; records the row just played
// and tells whether this pass played it before with the same loop counters.
void forget_played_rows(Player* player);
bool row_played_before(Player* player);

}  // namespace qm
