// tick_effects.h: the ticks between two row ticks, and the step routines
// that both kinds of tick share: envelopes, vibrato, tremolo, tremor, tone
// portamento and the instrument's automatic vibrato.
// Owns: nothing; works on a Player's channels and global volume.
// Thread: the thread rendering the player.
#pragma once
#include "music/channel.h"
#include "music/player.h"

namespace qm {

// The effects of every channel on a tick that is not a row tick.
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
// One tick of both envelopes and the fadeout. On the row tick a released
// channel without a volume envelope also drops its envelope value to 0.
void step_envelopes(Channel* channel, const Instrument* instrument, bool row_tick);
// An envelope point's value, held to 0..64 (files may store more).
int32_t point_y(const EnvelopePoint& point);
// period + delta, held inside +-2^30 so that endless slides cannot overflow.
int32_t moved_period(int32_t period, int64_t delta);

}  // namespace qm
