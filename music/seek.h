// seek.h: seeking with state. A seek positions a player in the playback of
// its song from the start (order 0) exactly as if it had rendered every frame
// before the target: speed, tempo, global volume, effect memories,
// envelopes, voices with their sample positions and gain ramps, the pass
// record and the block grid. It gets there without mixing: the replayer and
// the voices advance block by block along the grid (mix_block's ticks and
// pieces, render.h), then the block holding the target is mixed.
// Owns: nothing beyond the Player it is given.
// Thread: the thread that uses the player. Allocates nothing.
#pragma once
#include <cstdint>

#include "music/player.h"

namespace qm {

// Row ticks a search for an order and row runs before it gives up: far more
// than any real song's first pass (a 10-minute song has about 10,000).
constexpr int64_t MAX_SEARCH_TICKS = int64_t{1} << 20;

// Positions the player at `frame` of the playback from the start; a frame at
// or past the playback's end leaves it ended there. Goes on from where the
// player stands when that lies on the way, else starts again from order 0.
// Costs the replayer and the voices of the frames skipped (no mixing) and
// one block mixed.
void seek_frame(Player* player, uint64_t frame);
// Positions the player where the playback from the start first plays `row`
// of order position `order`. A row that playback never reaches (within
// MAX_SEARCH_TICKS) is played from the song's initial state, as a restart at
// that order would, from that row; the frame count then starts from 0.
void seek_row(Player* player, int32_t order, int32_t row);
// Runs the replayer alone (no voice is mixed) from the player's first pass
// until a row tick plays `order`, `row`; true with that tick's frame, false
// when the first pass ends (or MAX_SEARCH_TICKS run out) first.
bool run_to_row(Player* player, int32_t order, int32_t row, uint64_t* frame);
// Repositions the player now: a jump (heard with the next frame), a seek or
// a restart.
void move_player(Player* player, const PendingMove& move);
// Carries out the repositioning asked for from the row callback, now that
// the frames before it are handed out (a jump never waits for this: it is
// set up at the row tick that asked for it).
void carry_out_move(Player* player);

}  // namespace qm
