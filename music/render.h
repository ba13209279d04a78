// render.h: the pull render of a Player: its song mixed one block at a time
// at a fixed block grid, handed out in pieces of any size, row ticks
// reported, the playback ended where the song comes back to a row it played.
// Owns: nothing beyond the Player it is given.
// Thread: the thread that uses the player. Allocates nothing.
#pragma once
#include <cstdint>

#include "music/player.h"

namespace qm {

// Renders up to count frames; returns the frames written, fewer only at the end.
int32_t render_s16(Player* player, int16_t* out, int32_t count);
int32_t render_f32(Player* player, float* out, int32_t count);
// Runs the replayer without mixing until the playback ends or max_frames
// frames have passed; returns the frames a render would give.
uint64_t measure_frames(Player* player, uint64_t max_frames);

}  // namespace qm
