// render.h: the pull render of a Player: its song mixed one block at a time
// at a fixed block grid, handed out in pieces of any size, row ticks
// reported, the playback ended where the song comes back to a row it played
// (or where a fade ends); and the same block advanced without mixing, for
// seeking.
// Owns: nothing beyond the Player it is given.
// Thread: the thread that uses the player. Allocates nothing.
#pragma once
#include <cstdint>

#include "music/player.h"

namespace qm {

// Renders up to count frames; returns the frames written, fewer only at the
// end. 0 from inside the row callback.
int32_t render_s16(Player* player, int16_t* out, int32_t count);
int32_t render_f32(Player* player, float* out, int32_t count);

// One tick of the replayer at next_tick_frame, with the pass record and,
// when report is true, the row callback.
void run_tick(Player* player, bool report);
// Mixes the next block from mix_end into mix_block, shaped and faded, and
// makes it the block handed out (from its first frame).
void mix_block(Player* player);
// Advances the replayer and the voices through the next block exactly as
// mix_block would, without mixing: no row is reported, no level measured.
void skip_block(Player* player);
// The frame where the playback stops as far as it is known: the song's end
// once its row tick has run, a fade's end; UINT64_MAX when neither is known.
uint64_t stop_frame(const Player* player);

// Runs the replayer without mixing until the playback ends or the next tick
// falls after max_frames; returns the frames a render would give (at most
// max_frames).
uint64_t measure_frames(Player* player, uint64_t max_frames);

}  // namespace qm
