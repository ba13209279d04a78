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
