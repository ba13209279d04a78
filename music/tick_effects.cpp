// Placeholder until this unit is written; every entry aborts.
#include "music/replayer.h"
#include <cstdlib>
void process_tick_effects(Module*) { std::abort(); }
void envelope_step(Channel*, EnvelopeState*, const Instrument*, EnvelopeKind, uint8_t) { std::abort(); }
void vibrato_step(Channel*) { std::abort(); }
void tremolo_step(Channel*) { std::abort(); }
void tremor_step(Channel*) { std::abort(); }
void tone_portamento_step(Channel*) { std::abort(); }
void auto_vibrato_step(Channel*, const Instrument*) { std::abort(); }
