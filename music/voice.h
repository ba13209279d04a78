// voice.h: the mixer voices, the voice update, the voice mixer and the output
// conversion.
// Owns: nothing here; the voice table is part of each Player.
// Thread: the thread rendering the player.
#pragma once
#include <cstdint>
#include "music/module.h"

namespace qm {

struct Channel;
struct Player;

constexpr int VOICE_COUNT = 256;   // voice table slots
constexpr int MIXED_VOICES = 64;   // slots 0..63 are mixed; i and i +- 32 are twins
constexpr int TWIN_DISTANCE = 32;

enum Direction : int32_t { DIRECTION_FORWARD = 1, DIRECTION_BACKWARD = 2 };

struct Voice {
  int32_t index;          // own slot number
  int32_t volume;         // last volume, 0..255 scale (== mix_volume)
  int32_t frequency;      // last frequency in Hz before the 100 Hz floor
  int32_t pan;            // last pan, 0..255 (== mix_pan)
  int32_t mix_volume;     // working volume for the gains
  int32_t mix_pan;        // working pan for the gains
  uint32_t start_offset;  // pending start frame, consumed by the next start
  bool wrapped;           // the position has come back through the loop at least once
  const Sample* sample;   // null = idle; owned by the Module
  int32_t gain_left;      // target gain of the left sample, 0..255
  int32_t gain_right;     // target gain of the right sample, 0..255
  uint32_t pos_int;       // position, whole frames
  uint32_t pos_frac;      // position, units of 2^-32 frame
  uint32_t step_frac;     // step per output frame, units of 2^-32
  uint32_t step_int;      // step per output frame, whole frames
  int32_t direction;      // DIRECTION_FORWARD or DIRECTION_BACKWARD
  int32_t ramp_goal_left; // gain_left the running ramp was set up for
  int32_t ramp_goal_right;
  int32_t cur_gain_left;  // applied left gain x 256
  int32_t cur_gain_right;
  float ramp_inc_left;    // per-frame change of the applied gain, 1.0 = gain 255
  float ramp_inc_right;
  int32_t ramp_frames;    // frames left in the running ramp; 0 = none
};

// Applies the channel's pending-update bits to its voice in player's table.
void update_voice(Player* player, Channel* channel, const Sample* sample);
// Sets the target gains of the channel's voice again from the channel's
// volume, after the player's channel controls changed its mix_gain.
void refresh_voice_volume(Player* player, Channel* channel);

}  // namespace qm
