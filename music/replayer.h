// replayer.h: the XM sequencer's tick entry, row processing, tick effects and
// the step routines both kinds of tick use.
// Owns: nothing; works on a Player's position, channels and voices and reads
// its song.
// Thread: the thread rendering the player.
#pragma once
#include "music/channel.h"
#include "music/player.h"

// One tick: the row tick on tick 0, the tick effects otherwise.
void replay_tick(Player* player);
void process_row(Player* player);
void process_tick_effects(Player* player);

// Which of an instrument's two envelopes a step works on.
enum EnvelopeKind { ENVELOPE_VOLUME, ENVELOPE_PANNING };
void envelope_step(Channel* channel, EnvelopeState* state, const Instrument* instrument,
                   EnvelopeKind kind, uint8_t update_bit);
void vibrato_step(Channel* channel);
void tremolo_step(Channel* channel);
void tremor_step(Channel* channel);
void tone_portamento_step(Channel* channel);
void auto_vibrato_step(Channel* channel, const Instrument* instrument);

// The instrument a channel's `instrument` selects: empty_instrument when it
// lies beyond the song's instruments. Never null.
const Instrument* channel_instrument(const Module* song, const Channel* channel);
// The sample the channel's note selects in instrument: empty_sample for a map
// entry of 16 or more, a null slot, or a note beyond the 96-note map.
const Sample* channel_sample(const Instrument* instrument, const Channel* channel);
// The finetune the player plays sample with: E5y's value once set, else the
// sample's own.
int32_t sample_finetune(const Player* player, const Sample* sample);
// The cells of the player's row of the pattern at its order position, or
// null when there is nothing to read (no pattern, no cell storage, row outside).
const Cell* current_row_cells(const Player* player);
// One tick of both envelopes and the fadeout. On the row tick a released
// channel without a volume envelope also drops its envelope value to 0.
void step_envelopes(Channel* channel, const Instrument* instrument, bool row_tick);
// An envelope point's value, held to 0..64 (files may store more).
int32_t point_y(const EnvelopePoint& point);
// period + delta, held inside +-2^30 so that endless slides cannot overflow.
int32_t moved_period(int32_t period, int64_t delta);
