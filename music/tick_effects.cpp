// tick_effects.cpp: the ticks between two row ticks, and the step routines
// that both kinds of tick share: envelopes, vibrato, tremolo, tremor, tone
// portamento and the instrument's automatic vibrato.
// Owns: no state; works on a Player's channels and global volume and reads
// its song. Touches: the channels' voices only through update_voice.
// Thread: the thread rendering the player.
#include <cmath>
#include <algorithm>
#include <cstdint>

#include "music/row.h"
#include "music/tick_effects.h"

namespace qm {

namespace {

// Oscillator waveforms of E4y and E7y (bits 0-1 of each nibble).
constexpr int WAVE_SINE = 0;
constexpr int WAVE_RAMP = 1;
constexpr int WAVE_SQUARE = 2;

// Instrument auto-vibrato types.
constexpr uint8_t AUTO_VIBRATO_SINE = 0;
constexpr uint8_t AUTO_VIBRATO_SQUARE = 1;
constexpr uint8_t AUTO_VIBRATO_RAMP_DOWN = 2;
constexpr uint8_t AUTO_VIBRATO_RAMP_UP = 3;
constexpr uint8_t AUTO_VIBRATO_NONE = 4;  // any type above 3

constexpr int32_t MIN_PORTA_UP_PERIOD = 56;
// Periods are held inside +-2^30 so that endless slides cannot overflow.
constexpr int64_t PERIOD_LIMIT = int64_t{1} << 30;

// Oscillator amplitude 0..255 at position p (-32..31) for a sine, ramp or square.
int32_t oscillator(int waveform, int8_t p) {
  switch (waveform) {
    case WAVE_SINE:
      return static_cast<int32_t>(std::fabs(std::sin(2.0 * p * static_cast<double>(0.049087375f)) * 256.0));
    case WAVE_RAMP: {
      int32_t r = p & 31;
      return p >= 0 ? 8 * r : 255 - 8 * r;
    }
    case WAVE_SQUARE:
    default: // the vibrato plays its fourth waveform as a square
      return 255;
  }
}

// Moves an oscillator position on by speed, wrapping -32..31.
int8_t advance_position(int8_t position, uint8_t speed) {
  auto next = static_cast<int8_t>(static_cast<uint8_t>(position) + speed);
  if (next > 31) next = static_cast<int8_t>(next - 64);
  return next;
}


// The volume slide of effects A, 5 and 6, with its shared memory.
void volume_slide(Channel* c) {
  int32_t x = c->volume_slide >> 4, y = c->volume_slide & 0x0F;
  if (x != 0) {
    c->volume = std::min(c->volume + x, MAX_VOLUME);
  } else if (y != 0) {
    c->volume = std::max(c->volume - y, 0);
  }
  c->update_flags |= UPDATE_VOLUME;
}

void advance_vibrato(Channel* c) { c->vibrato_pos = advance_position(c->vibrato_pos, c->vibrato_speed); }

// New volume of a multi retrigger for its volume change 1..15.
int32_t retrigger_volume(int32_t v, uint8_t change) {
  switch (change) {
    case 1: return v - 1;
    case 2: return v - 2;
    case 3: return v - 4;
    case 4: return v - 8;
    case 5: return v - 16;
    case 6: return 2 * v / 3;
    case 7: return v / 2;
    case 9: return v + 1;
    case 10: return v + 2;
    case 11: return v + 4;
    case 12: return v + 8;
    case 13: return v + 16;
    case 14: return 3 * v / 2;
    case 15: return 2 * v;
    default: return v;
  }
}

// The volume column between row ticks.
void volume_column_tick(Channel* c, uint8_t volume_byte) {
  int32_t y = volume_byte & 0x0F;
  switch (volume_command(volume_byte)) {
    case VOLCOL_SLIDE_DOWN:
      c->volume = std::max(c->volume - y, 0);
      c->update_flags |= UPDATE_VOLUME;
      break;
    case VOLCOL_SLIDE_UP:
      c->volume = std::min(c->volume + y, MAX_VOLUME);
      c->update_flags |= UPDATE_VOLUME;
      break;
    case VOLCOL_VIBRATO_DEPTH:
      c->vibrato_depth = static_cast<uint8_t>(y);
      vibrato_step(c);
      advance_vibrato(c);
      break;
    case VOLCOL_PAN_LEFT:  // not clamped here: update_voice clamps the final pan
      c->panning = saturate_int32(int64_t{c->panning} - y);
      c->update_flags |= UPDATE_PAN;
      break;
    case VOLCOL_PAN_RIGHT:
      c->panning = saturate_int32(int64_t{c->panning} + y);
      c->update_flags |= UPDATE_PAN;
      break;
    case VOLCOL_TONE_PORTA:
      tone_portamento_step(c);
      break;
    default:
      break;
  }
}

// The E sub-effects between row ticks.
void extended_tick(Player* pl, Channel* c, const Cell* cell, const Sample* sample) {
  int32_t y = cell->param & 0x0F;
  switch (cell->param >> 4) {
    case EXT_RETRIGGER:  // E9y: retrigger every y ticks
      if (y != 0 && pl->tick % y == 0) c->update_flags |= UPDATE_START | UPDATE_VOLUME | UPDATE_FREQUENCY;
      break;
    case EXT_NOTE_CUT:  // ECy: note cut on tick y
      if (pl->tick == y) {
        c->volume = 0;
        c->update_flags |= UPDATE_VOLUME;
      }
      break;
    case EXT_NOTE_DELAY:  // EDy: note delay to tick y
      if (pl->tick == y) {
        reset_channel(c, sample);
        c->period = c->note_period;
        c->update_flags |= UPDATE_FREQUENCY;
        if (cell->volume != 0) volume_column_row(c, cell->volume);
        c->update_flags |= UPDATE_START;
      } else {
        c->update_flags &= static_cast<uint8_t>(~(UPDATE_FREQUENCY | UPDATE_VOLUME | UPDATE_PAN | UPDATE_START));
      }
      break;
    default:
      break;
  }
}

// The cell's effect between row ticks.
void effect_tick(Player* pl, Channel* c, const Cell* cell, const Sample* sample) {
  int32_t x = cell->param >> 4, y = cell->param & 0x0F;
  switch (cell->effect) {
    case EFFECT_ARPEGGIO:  // 0xy: arpeggio
      if (cell->param != 0) {
        int32_t tick_phase = pl->tick % 3;
        int32_t n = tick_phase == 1 ? x : (tick_phase == 2 ? y : 0);
        if (pl->song->flags & MODULE_LINEAR_TABLE) {
          c->period_offset = 64 * n;
        } else {
          int32_t finetune = sample_finetune(pl, sample);
          c->period_offset = amiga_period(c->real_note + n, finetune) - amiga_period(c->real_note, finetune);
        }
        c->update_flags |= UPDATE_FREQUENCY;
      }
      break;
    case EFFECT_PORTA_UP:  // 1xx: portamento up, floor at period 56
      c->period = moved_period(c->period, -4 * int64_t{c->porta_up_speed});
      if (c->period < MIN_PORTA_UP_PERIOD) c->period = MIN_PORTA_UP_PERIOD;
      c->update_flags |= UPDATE_FREQUENCY;
      break;
    case EFFECT_PORTA_DOWN:  // 2xx: portamento down
      c->period = moved_period(c->period, 4 * int64_t{c->porta_down_speed});
      c->update_flags |= UPDATE_FREQUENCY;
      break;
    case EFFECT_TONE_PORTA:  // 3xx: tone portamento
      tone_portamento_step(c);
      break;
    case EFFECT_VIBRATO:  // 4xy: vibrato
      vibrato_step(c);
      advance_vibrato(c);
      break;
    case EFFECT_TONE_PORTA_VOLUME_SLIDE:  // 5xy: tone portamento + volume slide
      tone_portamento_step(c);
      volume_slide(c);
      break;
    case EFFECT_VIBRATO_VOLUME_SLIDE:  // 6xy: vibrato + volume slide
      vibrato_step(c);
      advance_vibrato(c);
      volume_slide(c);
      break;
    case EFFECT_TREMOLO:  // 7xy: tremolo
      tremolo_step(c);
      break;
    case EFFECT_VOLUME_SLIDE:  // Axy: volume slide
      volume_slide(c);
      break;
    case EFFECT_EXTENDED:  // Exy: extended effects
      extended_tick(pl, c, cell, sample);
      break;
    case EFFECT_GLOBAL_VOLUME_SLIDE: {  // Hxy: global volume slide
      int32_t gx = pl->global_volume_slide >> 4, gy = pl->global_volume_slide & 0x0F;
      if (gx != 0) {
        pl->global_volume = std::min(pl->global_volume + gx, MAX_VOLUME);
      } else if (gy != 0) {
        pl->global_volume = std::max(pl->global_volume - gy, 0);
      }
      break;
    }
    case EFFECT_PANNING_SLIDE: {  // Pxy: panning slide
      int32_t px = c->panning_slide >> 4, py = c->panning_slide & 0x0F;
      if (px != 0) {
        c->panning = std::min(c->panning + px, MAX_PANNING);
      } else if (py != 0) {
        c->panning = std::max(c->panning - py, 0);
      }
      c->update_flags |= UPDATE_PAN;
      break;
    }
    case EFFECT_MULTI_RETRIGGER:  // Rxy: multi retrigger
      if (c->retrig_interval != 0 && pl->tick % c->retrig_interval == 0) {
        if (c->retrig_volume != 0) {
          c->volume = clamp_to(retrigger_volume(c->volume, c->retrig_volume), 0, MAX_VOLUME);
          c->update_flags |= UPDATE_VOLUME;
        }
        c->update_flags |= UPDATE_START;
      }
      break;
    case EFFECT_TREMOR:  // Txy: tremor
      tremor_step(c);
      break;
    default:
      break;
  }
}

// The points and loop description of one of an instrument's envelopes.
struct EnvelopeShape {
  const EnvelopePoint* points;
  int32_t count;  // 0..ENVELOPE_POINTS
  int32_t sustain, loop_start, loop_end;
  uint8_t flags;
};

EnvelopeShape envelope_shape(const Instrument* in, EnvelopeKind kind) {
  EnvelopeShape s{};
  if (kind == ENVELOPE_VOLUME) {
    s = {in->volume_envelope, in->volume_point_count, in->volume_sustain_point, in->volume_loop_start,
         in->volume_loop_end, in->volume_flags};
  } else {
    s = {in->panning_envelope, in->panning_point_count, in->panning_sustain_point, in->panning_loop_start,
         in->panning_loop_end, in->panning_flags};
  }
  if (s.count > ENVELOPE_POINTS) s.count = ENVELOPE_POINTS;
  return s;
}


// Slope in 16.16 per tick from point a to point b; 0 when their x are equal.
int32_t segment_slope(const EnvelopePoint& a, const EnvelopePoint& b) {
  int32_t dx = static_cast<int32_t>(b.x) - a.x;
  if (dx == 0) return 0;
  return (point_y(b) - point_y(a)) * 65536 / dx;
}

}  // namespace

int32_t point_y(const EnvelopePoint& point) { return std::min<int32_t>(point.y, MAX_ENVELOPE_VALUE); }

int32_t moved_period(int32_t period, int64_t delta) {
  return static_cast<int32_t>(clamp_to<int64_t>(period + delta, -PERIOD_LIMIT, PERIOD_LIMIT));
}

void envelope_step(Channel* channel, EnvelopeState* e, const Instrument* instrument, EnvelopeKind kind,
                   uint8_t update_bit) {
  EnvelopeShape s = envelope_shape(instrument, kind);
  int32_t p = e->point;
  if (p >= 0 && p < s.count) {
    // A point counts as reached once the tick is at or past its x, so points
    // whose x do not increase are met instead of passed by.
    if (e->tick < s.points[p].x) {
      e->value_fixed += e->slope;
    } else {
      bool loop_ok = s.loop_start < s.count && s.loop_end < s.count;
      if ((s.flags & ENVELOPE_LOOP) && loop_ok && p == s.loop_end) {
        p = s.loop_start;
        e->point = p;
        e->tick = s.points[p].x;
      }
      if (p == s.count - 1) {
        e->value = point_y(s.points[p]);
        e->finished = 1;
        channel->update_flags |= update_bit;
        return;
      }
      if ((s.flags & ENVELOPE_SUSTAIN) && p == s.sustain && !channel->released) {
        e->value = point_y(s.points[p]);
        channel->update_flags |= update_bit;
        return;
      }
      e->slope = segment_slope(s.points[p], s.points[p + 1]);
      e->value_fixed = point_y(s.points[p]) * 65536;
      e->point = p + 1;
    }
  }
  e->value = e->value_fixed >> 16;
  e->tick += 1;
  channel->update_flags |= update_bit;
}

void vibrato_step(Channel* channel) {
  int8_t p = channel->vibrato_pos;
  int32_t d = (oscillator(channel->waveforms & 0x03, p) * channel->vibrato_depth) >> 5;
  d &= ~3;
  channel->period_offset = p >= 0 ? -d : d;
  channel->update_flags |= UPDATE_FREQUENCY;
}

void tremolo_step(Channel* channel) {
  int8_t p = channel->tremolo_pos;
  int waveform = (channel->waveforms >> 4) & 0x03;
  // The tremolo plays its fourth waveform as a sine, the vibrato as a square.
  if (waveform == 3) waveform = WAVE_SINE;
  int32_t d = (oscillator(waveform, p) * channel->tremolo_depth) >> 6;
  if (p >= 0) {
    if (channel->volume + d > MAX_VOLUME) d = MAX_VOLUME - channel->volume;
    channel->volume_offset = d;
  } else {
    if (channel->volume - d < 0) d = channel->volume;
    channel->volume_offset = -d;
  }
  channel->tremolo_pos = advance_position(p, channel->tremolo_speed);
  channel->update_flags |= UPDATE_VOLUME;
}

void tremor_step(Channel* channel) {
  if (channel->tremor_count >= channel->tremor_on) channel->volume_offset = -channel->volume;
  int32_t next = channel->tremor_count + 1;
  // Also restarts a count left beyond a cycle that was shortened since.
  channel->tremor_count = next >= channel->tremor_on + channel->tremor_off ? 0 : static_cast<uint8_t>(next);
  channel->update_flags |= UPDATE_VOLUME;
}

void tone_portamento_step(Channel* channel) {
  int32_t step = 4 * channel->porta_speed;
  if (channel->period < channel->porta_target) {
    channel->period = channel->porta_target - channel->period > step ? channel->period + step : channel->porta_target;
  } else if (channel->period > channel->porta_target) {
    channel->period = channel->period - channel->porta_target > step ? channel->period - step : channel->porta_target;
  }
  channel->update_flags |= UPDATE_FREQUENCY;
}

void auto_vibrato_step(Channel* channel, const Instrument* instrument) {
  int32_t p = channel->auto_vibrato_pos & 0xFF;
  int32_t w = 0;  // types above 3 have no waveform and add nothing
  // Without depth the waveform adds nothing either: its sine is not taken.
  switch (instrument->vibrato_depth != 0 ? instrument->vibrato_type : AUTO_VIBRATO_NONE) {
    case AUTO_VIBRATO_SINE:
      w = static_cast<int32_t>(std::sin(p * static_cast<double>(0.024543688f)) * 64.0);
      break;
    case AUTO_VIBRATO_SQUARE:
      w = p < 128 ? 64 : -64;
      break;
    case AUTO_VIBRATO_RAMP_DOWN:
      w = (128 - ((p + 128) % 256)) >> 1;
      break;
    case AUTO_VIBRATO_RAMP_UP:
      w = (128 - ((384 - p) % 256)) >> 1;
      break;
    default:
      break;
  }
  int32_t a = w * instrument->vibrato_depth;
  if (instrument->vibrato_sweep != 0) a = channel->auto_vibrato_sweep * a / instrument->vibrato_sweep;
  channel->period_offset += a >> 6;
  if (channel->auto_vibrato_sweep < instrument->vibrato_sweep) channel->auto_vibrato_sweep += 1;
  channel->auto_vibrato_pos = p + instrument->vibrato_rate;
  if (channel->auto_vibrato_pos > 255) channel->auto_vibrato_pos -= 256;
  channel->update_flags |= UPDATE_FREQUENCY;
}

void process_tick_effects(Player* player) {
  const Cell* cells = current_row_cells(player);
  if (cells == nullptr) return;
  const Module* song = player->song;
  int32_t count = song->channel_count < CHANNEL_COUNT ? song->channel_count : CHANNEL_COUNT;
  for (int32_t i = 0; i < count; ++i) {
    Channel* c = &player->channels[i];
    const Cell* cell = &cells[i];
    const Instrument* instrument = channel_instrument(song, c);
    const Sample* sample = channel_sample(instrument, c);
    c->volume_offset = 0;
    c->period_offset = 0;
    c->update_flags = 0;
    step_envelopes(c, instrument, false);
    volume_column_tick(c, cell->volume);
    effect_tick(player, c, cell, sample);
    auto_vibrato_step(c, instrument);
    update_voice(player, c, sample);
  }
}

void step_envelopes(Channel* c, const Instrument* instrument, bool row_tick) {
  if ((instrument->volume_flags & ENVELOPE_ON) && !c->volume_env.finished) {
    envelope_step(c, &c->volume_env, instrument, ENVELOPE_VOLUME, UPDATE_VOLUME);
  } else if (row_tick && !(instrument->volume_flags & ENVELOPE_ON) && c->released) {
    c->volume_env.value = 0;  // without a volume envelope a key-off silences at once
  }
  if ((instrument->panning_flags & ENVELOPE_ON) && !c->panning_env.finished) {
    envelope_step(c, &c->panning_env, instrument, ENVELOPE_PANNING, UPDATE_PAN);
  }
  if (c->released) {
    c->fadeout_volume = c->fadeout_volume > instrument->fadeout ? c->fadeout_volume - instrument->fadeout : 0;
    c->update_flags |= UPDATE_VOLUME;
  }
}

}  // namespace qm
