// Placeholder until this unit is written; every entry aborts.
#include "music/channel.h"
#include <cstdlib>
Instrument empty_instrument;
void set_bpm(Module*, int32_t) { std::abort(); }
int32_t amiga_period(int32_t, int32_t) { std::abort(); }
int32_t note_period(const Module*, int32_t, int32_t) { std::abort(); }
void reset_channel(Channel*, const Sample*) { std::abort(); }
void volume_column_row(Channel*, uint8_t) { std::abort(); }
