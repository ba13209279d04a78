// row.h: the tick driver and the row tick of the XM sequencer, and how a
// channel finds its instrument, sample and the song's cells.
// Owns: nothing; works on a Player's position, channels and voices and reads
// its song.
// Thread: the thread rendering the player.
#pragma once
#include "music/channel.h"
#include "music/player.h"

namespace qm {

// One tick: the row tick on tick 0, the tick effects otherwise.
void replay_tick(Player* player);
// The row tick's cells: notes, instruments, volume column and the row-tick
// part of every effect, channel by channel.
void process_row(Player* player);

// The instrument a channel's `instrument` selects: empty_instrument when it
// lies beyond the song's instruments. Never null.
const Instrument* channel_instrument(const Module* song, const Channel* channel);
// The sample the channel's note selects in instrument: empty_sample for a map
// entry of 16 or more, a null slot, or a note beyond the 96-note map.
const Sample* channel_sample(const Instrument* instrument, const Channel* channel);
// The finetune the player plays sample with: E5y's value once set, else the
// sample's own.
int32_t sample_finetune(const Player* player, const Sample* sample);
// Rows of the pattern at an order position (EMPTY_PATTERN_ROWS for a
// pattern the song names but lacks).
int32_t rows_at_order(const Module* song, int32_t order);
// The cells of the player's row of the pattern at its order position, or
// null when there is nothing to read (no pattern, no cell storage, row outside).
const Cell* current_row_cells(const Player* player);

}  // namespace qm
