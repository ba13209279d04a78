// replayer.h: the XM sequencer's tick entry, row processing, tick effects and
// the step routines both kinds of tick use.
// Owns: nothing; works on the Module's playback fields and the channels table.
// Thread: mixer thread during play; the offline renderer's thread otherwise.
#pragma once
#include "music/channel.h"

// The tick handler: the row tick on tick 0, the tick effects otherwise.
void replay_tick(Module* module);
void process_row(Module* module);
void process_tick_effects(Module* module);

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
// lies beyond the module's instruments. Never null.
Instrument* channel_instrument(Module* module, const Channel* channel);
// The sample the channel's note selects in instrument: empty_sample for a map
// entry of 16 or more, a null slot, or a note beyond the 96-note map.
Sample* channel_sample(const Instrument* instrument, const Channel* channel);
// The cells of row `row` of the pattern at order position `order`, or null
// when there is nothing to read (no pattern, no cell storage, row outside).
const Cell* current_row_cells(const Module* module);
// One tick of both envelopes and the fadeout. On the row tick a released
// channel without a volume envelope also drops its envelope value to 0.
void step_envelopes(Channel* channel, const Instrument* instrument, bool row_tick);
// period + delta, held inside +-2^30 so that endless slides cannot overflow.
int32_t moved_period(int32_t period, int64_t delta);
