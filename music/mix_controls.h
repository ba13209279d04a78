// mix_controls.h: the player's mixing controls: per-channel mute, solo and
// volume (which enter where channel state turns into voice gains), the
// channel level meter, and the output shaping of a mixed block: gain and
// stereo separation moving without a step, and the fade-out.
// Owns: nothing beyond the MixControls record inside each Player.
// Thread: the thread that uses the player.
//
// The defaults (gain 1, separation 1, every channel at volume 1, no mute, no
// solo, no fade) leave every byte of the mix as the engine makes it.
#pragma once
#include <cstdint>

#include "music/player.h"

namespace qm {

// The defaults of a new player.
void reset_controls(MixControls* controls);

// The factor a channel's volume is scaled by: 0 when it is muted or another
// channel is soloed, else its volume.
float channel_factor(const MixControls& controls, int32_t channel);
// Writes every channel's factor into its Channel record (after a restart,
// whose channels are fresh).
void apply_channel_controls(Player* player);
// After a mute, solo or volume changed: each channel whose factor changed
// gets it, and its voice new target gains at once (the mixer ramps them).
void channel_controls_changed(Player* player);

// Gain and separation as asked for, with no ramp pending; no fade; levels 0.
// A new playback (restart, seek) starts so.
void settle_controls(Player* player);

// Gain and stereo separation on a mixed block of `frames` frames. A change
// since the last block moves linearly across this block, reaching the new
// values on its last frame; unchanged defaults touch nothing.
void shape_block(Player* player, float* block, int32_t frames);

// The fade on frames [first, first + frames) of the playback held in values
// (stereo floats): frame end - k (k = 1..fade_frames) is scaled by
// (k - 1) / (fade_frames - 1), in double, the product rounded to float.
void apply_fade(const MixControls& controls, float* values, uint64_t first, int32_t frames);
// The frame where the fade stops the playback; UINT64_MAX without a fade.
uint64_t fade_stop(const MixControls& controls);
// Sets (frames > 0) or removes the fade. Outside the row callback the frames
// of the current block not yet handed out get it at once, unless the block
// holds a fade already; the block then ends where the playback now stops.
void set_fade(Player* player, uint64_t end_frame, uint64_t frames);

// Channel levels: mark_voices notes where the mixed voices stand before a
// piece is mixed, meter_piece raises each voice's peak with the piece's
// after it, and publish_levels makes the block's peaks the channels' levels.
struct VoiceMark {
  const Sample* sample; // null: the voice was idle
  uint64_t pos;         // 32.32 position
  uint64_t step;        // 32.32 step
  int32_t direction;
  float gain;           // the largest gain the voice can apply in the piece, 1 = unity
};
void mark_voices(const Player* player, VoiceMark marks[MIXED_VOICES]);
void meter_piece(Player* player, const VoiceMark marks[MIXED_VOICES], int32_t frames);
void publish_levels(Player* player);
// Every level and peak back to 0.
void clear_levels(MixControls* controls);

}  // namespace qm
