// row.cpp: the tick driver and the row tick: reading a row's cells, starting
// notes and instruments, the volume column and the row-tick part of every
// effect, and the song position (breaks, jumps, pattern loops, wrap-around).
// Owns: the row's position-jump mark and pattern-loop jump (below).
// Touches: the channels table and the playing Module; voices only through
// update_voice and the sample offset's start_offset.
// Thread: the thread that fills blocks (mixer thread or offline renderer).
#include <cstdint>

#include "music/output.h"
#include "music/replayer.h"

namespace {

// Rows of a pattern the order table names but the module does not hold.
constexpr int32_t ABSENT_PATTERN_ROWS = 64;
constexpr int32_t MAX_BREAK_ROW = 63;
constexpr int32_t MAX_VOLUME = 64;
constexpr int32_t SPEED_LIMIT = 32;  // F below it sets the speed, from it the tempo
constexpr uint8_t LOW_UPDATE_BITS = UPDATE_FREQUENCY | UPDATE_VOLUME | UPDATE_PAN | UPDATE_START;
constexpr int32_t NO_LOOP_JUMP = -1;

// Process-wide row state, written by process_row and read by replay_tick on
// the same tick: whether a B on this row has set the order (so a later D keeps
// it), and the row a pattern-loop jump on this row goes back to.
bool position_jump_mark = false;
int32_t loop_jump_row = NO_LOOP_JUMP;

// Order positions that can be read: song_length held to the order table.
int32_t song_length(const Module* m) {
  int32_t n = m->song_length;
  return n < 0 ? 0 : (n > ORDER_TABLE_SIZE ? ORDER_TABLE_SIZE : n);
}

const Pattern* pattern_at(const Module* m, int32_t order) {
  if (order < 0 || order >= ORDER_TABLE_SIZE || m->patterns == nullptr) return nullptr;
  int32_t index = m->order_table[order];
  return index < m->pattern_count ? &m->patterns[index] : nullptr;
}

int32_t pattern_rows(const Module* m, int32_t order) {
  const Pattern* p = pattern_at(m, order);
  return p != nullptr ? p->row_count : ABSENT_PATTERN_ROWS;
}

// The order position after the last one: restart_position, or 0 when that
// lies outside the song.
int32_t wrap_order(const Module* m) {
  int32_t restart = m->restart_position;
  return restart >= 0 && restart < song_length(m) ? restart : 0;
}

// Effect L: moves the volume envelope to tick p.
void set_envelope_position(Channel* c, const Instrument* in, int32_t p) {
  int32_t n = in->volume_point_count < ENVELOPE_POINTS ? in->volume_point_count : ENVELOPE_POINTS;
  if (n < 1) return;
  const EnvelopePoint* pts = in->volume_envelope;
  auto y = [](const EnvelopePoint& pt) { return pt.y > MAX_VOLUME ? MAX_VOLUME : static_cast<int32_t>(pt.y); };
  int32_t j = 0;
  while (j <= n - 2 && p > pts[j + 1].x) ++j;
  EnvelopeState& e = c->volume_env;
  if (j > n - 2) {
    e.point = n - 1;
    e.value = y(pts[n - 1]);
    e.finished = 1;
    return;
  }
  int32_t dx = pts[j + 1].x - pts[j].x;
  e.finished = 0;
  e.tick = p;
  e.slope = dx == 0 ? 0 : (y(pts[j + 1]) - y(pts[j])) * 65536 / dx;
  e.point = j + 1;
  e.value_fixed = y(pts[j]) * 65536 + (p - pts[j].x) * e.slope;
  e.value = e.value_fixed >> 16;
}

// A channel's volume, period and panning before its cell is applied; the
// note delay puts them back so the old note plays on until its tick.
struct Remembered {
  int32_t volume, period, panning;
};

// The E sub-effects on the row tick.
void extended_row(Module* m, Channel* c, const Cell* cell, Sample* sample, const Remembered& remembered) {
  uint8_t y = cell->param & 0x0F;
  switch (cell->param >> 4) {
    case EXT_FINE_PORTA_UP:  // E1y: fine portamento up
      if (y != 0) c->fine_porta_up = y;
      c->period = moved_period(c->period, -4 * int64_t{c->fine_porta_up});
      break;
    case EXT_FINE_PORTA_DOWN:  // E2y: fine portamento down
      if (y != 0) c->fine_porta_down = y;
      c->period = moved_period(c->period, 4 * int64_t{c->fine_porta_down});
      break;
    case EXT_VIBRATO_CONTROL:  // E4y: vibrato waveform
      c->waveforms = static_cast<uint8_t>((c->waveforms & 0xF0) | y);
      break;
    case EXT_SET_FINETUNE:  // E5y: set the sample's finetune (shared by every channel)
      if (sample != &empty_sample) sample->finetune = static_cast<int8_t>(y);
      break;
    case EXT_PATTERN_LOOP:  // E6y: pattern loop
      if (y == 0) {
        c->loop_row = m->row;
      } else {
        c->loop_count = c->loop_count == 0 ? y : c->loop_count - 1;
        if (c->loop_count != 0) loop_jump_row = c->loop_row;
      }
      break;
    case EXT_TREMOLO_CONTROL:  // E7y: tremolo waveform
      c->waveforms = static_cast<uint8_t>((c->waveforms & 0x0F) | (y << 4));
      break;
    case EXT_SET_PANNING:  // E8y: coarse panning
      c->panning = 16 * y;
      c->update_flags |= UPDATE_PAN;
      break;
    case EXT_FINE_VOLUME_UP:  // EAy: fine volume slide up
      if (y != 0) c->fine_volume_slide = y;
      c->volume = c->volume + c->fine_volume_slide > MAX_VOLUME ? MAX_VOLUME : c->volume + c->fine_volume_slide;
      c->update_flags |= UPDATE_VOLUME;
      break;
    case EXT_FINE_VOLUME_DOWN:  // EBy: fine volume slide down
      if (y != 0) c->fine_volume_slide = y;
      c->volume = c->volume - c->fine_volume_slide < 0 ? 0 : c->volume - c->fine_volume_slide;
      c->update_flags |= UPDATE_VOLUME;
      break;
    case EXT_NOTE_DELAY:  // EDy: note delay; the old note goes on until tick y
      c->volume = remembered.volume;
      c->period = remembered.period;
      c->panning = remembered.panning;
      c->update_flags &= static_cast<uint8_t>(~LOW_UPDATE_BITS);
      break;
    case EXT_PATTERN_DELAY:  // EEy: pattern delay of y rows
      m->pattern_delay = m->speed * y;
      break;
    default:  // E0, E3, E9 (retrigger) and EC (note cut) act on later ticks
      break;
  }
}

// The cell's effect on the row tick.
void effect_row(Module* m, Channel* c, const Cell* cell, Sample* sample, const Instrument* instrument,
                const Remembered& remembered) {
  uint8_t param = cell->param, x = param >> 4, y = param & 0x0F;
  switch (cell->effect) {
    case EFFECT_PORTA_UP:  // 1xx: portamento up
      if (param != 0) c->porta_up_speed = param;
      break;
    case EFFECT_PORTA_DOWN:  // 2xx: portamento down
      if (param != 0) c->porta_down_speed = param;
      break;
    case EFFECT_TONE_PORTA:  // 3xx: tone portamento
      if (param != 0) c->porta_speed = param;
      c->porta_target = c->note_period;
      c->update_flags &= static_cast<uint8_t>(~(UPDATE_FREQUENCY | UPDATE_START));
      break;
    case EFFECT_VIBRATO:  // 4xy: vibrato
      if (x != 0) c->vibrato_speed = x;
      if (y != 0) c->vibrato_depth = y;
      vibrato_step(c);
      break;
    case EFFECT_TONE_PORTA_VOLUME_SLIDE:  // 5xy: tone portamento + volume slide
      c->porta_target = c->note_period;
      if (param != 0) c->volume_slide = param;
      c->update_flags &= static_cast<uint8_t>(~(UPDATE_FREQUENCY | UPDATE_START));
      break;
    case EFFECT_VIBRATO_VOLUME_SLIDE:  // 6xy: vibrato + volume slide
      if (param != 0) c->volume_slide = param;
      vibrato_step(c);
      break;
    case EFFECT_TREMOLO:  // 7xy: tremolo
      if (x != 0) c->tremolo_speed = x;
      if (y != 0) c->tremolo_depth = y;
      break;
    case EFFECT_SET_PANNING:  // 8xx: set panning
      c->panning = param;
      c->update_flags |= UPDATE_PAN;
      break;
    case EFFECT_SAMPLE_OFFSET: {  // 9xx: sample offset
      if (param != 0) c->sample_offset = param;
      uint64_t offset = static_cast<uint64_t>(c->sample_offset) * 256;
      if (offset < uint64_t{sample->loop_start} + sample->loop_length) {
        if (c->voice != nullptr) c->voice->start_offset = static_cast<uint32_t>(offset);
      } else {
        c->update_flags = static_cast<uint8_t>((c->update_flags & ~UPDATE_START) | UPDATE_REWIND);
      }
      break;
    }
    case EFFECT_VOLUME_SLIDE:  // Axy: volume slide
      if (param != 0) c->volume_slide = param;
      break;
    case EFFECT_POSITION_JUMP:  // Bxx: position jump
      m->next_row = 0;
      m->next_order = param >= song_length(m) ? 0 : param;
      position_jump_mark = true;
      break;
    case EFFECT_SET_VOLUME:  // Cxx: set volume (65..255 kept as given)
      c->volume = param;
      c->update_flags |= UPDATE_VOLUME;
      break;
    case EFFECT_PATTERN_BREAK:  // Dxy: pattern break to row 10x + y
      m->next_row = 10 * x + y > MAX_BREAK_ROW ? 0 : 10 * x + y;
      if (!position_jump_mark) m->next_order = m->order + 1;
      if (m->next_order >= song_length(m)) m->next_order = 0;
      break;
    case EFFECT_EXTENDED:  // Exy: extended effects
      extended_row(m, c, cell, sample, remembered);
      break;
    case EFFECT_SPEED_TEMPO:  // Fxx: speed below 32, tempo from 32
      if (param < SPEED_LIMIT) {
        m->speed = param;
      } else {
        set_bpm(m, param);
      }
      break;
    case EFFECT_SET_GLOBAL_VOLUME:  // Gxx: set global volume
      m->global_volume = param > MAX_VOLUME ? MAX_VOLUME : param;
      c->update_flags |= UPDATE_VOLUME;
      break;
    case EFFECT_GLOBAL_VOLUME_SLIDE:  // Hxy: global volume slide
      if (param != 0) m->global_volume_slide = param;
      break;
    case EFFECT_SET_ENVELOPE_POSITION:  // Lxx: set volume envelope position
      if (instrument->volume_flags & ENVELOPE_ON) set_envelope_position(c, instrument, param);
      break;
    case EFFECT_PANNING_SLIDE:  // Pxy: panning slide
      if (param != 0) {
        c->panning_slide = param;
        c->update_flags |= UPDATE_PAN;
      }
      break;
    case EFFECT_MULTI_RETRIGGER:  // Rxy: multi retrigger
      if (param != 0) {
        c->retrig_volume = x;
        c->retrig_interval = y;
      }
      break;
    case EFFECT_TREMOR:  // Txy: tremor
      if (param != 0) {
        c->tremor_on = static_cast<uint8_t>(x + 1);
        c->tremor_off = static_cast<uint8_t>(y + 1);
      }
      tremor_step(c);
      break;
    case EFFECT_EXTRA_FINE_PORTA:  // Xxy: extra-fine portamento
      if (x == 1) {
        if (y != 0) c->extra_fine_up = y;
        c->period = moved_period(c->period, -int64_t{c->extra_fine_up});
      } else if (x == 2) {
        if (y != 0) c->extra_fine_down = y;
        c->period = moved_period(c->period, c->extra_fine_down);
      }
      break;
    default:  // 0 arpeggio and K key-off (step 12) do nothing here
      break;
  }
}

// The row tick of one channel: note, instrument, volume column, envelopes,
// the effect, the auto-vibrato and the voice update.
void apply_cell(Module* m, Channel* c, const Cell* cell) {
  bool porta = cell->effect == EFFECT_TONE_PORTA || cell->effect == EFFECT_TONE_PORTA_VOLUME_SLIDE;
  bool has_note = cell->note != 0 && cell->note != NOTE_KEY_OFF;
  if (cell->instrument != 0 && !porta) c->instrument = static_cast<uint8_t>(cell->instrument - 1);
  if (has_note && !porta) c->note = static_cast<uint8_t>(cell->note - 1);
  Instrument* instrument = channel_instrument(m, c);
  Sample* sample = channel_sample(instrument, c);
  const Remembered remembered{c->volume, c->period, c->panning};
  if (c->last_effect == EFFECT_TREMOLO && cell->effect != EFFECT_TREMOLO) c->volume += c->volume_offset;
  c->last_effect = cell->effect;
  c->volume_offset = 0;
  c->update_flags = 0;
  if (has_note) {
    c->real_note = static_cast<uint8_t>(cell->note + sample->relative_note - 1);
    c->note_period = note_period(m, c->real_note, sample->finetune);
    if (!porta) c->period = c->note_period;
    c->update_flags = UPDATE_START;
  }
  c->period_offset = 0;
  c->update_flags |= UPDATE_FREQUENCY | UPDATE_VOLUME;
  if (cell->instrument != 0) reset_channel(c, sample);
  if (cell->volume != 0) volume_column_row(c, cell->volume);
  if (cell->note == NOTE_KEY_OFF || cell->effect == EFFECT_KEY_OFF) c->released = 1;
  step_envelopes(c, instrument, true);
  effect_row(m, c, cell, sample, instrument, remembered);
  auto_vibrato_step(c, instrument);
  update_voice(c, sample, m);
}

}  // namespace

Instrument* channel_instrument(Module* module, const Channel* channel) {
  if (module->instruments == nullptr || channel->instrument >= module->instrument_count) return &empty_instrument;
  return &module->instruments[channel->instrument];
}

Sample* channel_sample(const Instrument* instrument, const Channel* channel) {
  if (channel->note >= SAMPLE_MAP_NOTES) return &empty_sample;
  uint8_t slot = instrument->sample_map[channel->note];
  if (slot >= INSTRUMENT_SAMPLES || instrument->samples[slot] == nullptr) return &empty_sample;
  return instrument->samples[slot];
}

const Cell* current_row_cells(const Module* module) {
  const Pattern* p = pattern_at(module, module->order);
  if (p == nullptr || p->cells == nullptr || module->channel_count <= 0) return nullptr;
  if (module->row < 0 || module->row >= p->row_count) return nullptr;
  return &p->cells[static_cast<size_t>(module->row) * static_cast<size_t>(module->channel_count)];
}

void process_row(Module* module) {
  module->next_row = -1;
  module->next_order = -1;
  position_jump_mark = false;
  loop_jump_row = NO_LOOP_JUMP;
  const Cell* cells = current_row_cells(module);
  if (cells == nullptr) return;
  int32_t count = module->channel_count < CHANNEL_COUNT ? module->channel_count : CHANNEL_COUNT;
  for (int32_t i = 0; i < count; ++i) apply_cell(module, &channels[i], &cells[i]);
}

void replay_tick(Module* module) {
  if (module->tick == 0) {
    if (module->next_order >= 0) module->order = module->next_order;
    if (module->next_row >= 0) module->row = module->next_row;
    // A break or loop to a row the pattern does not have starts it at its top.
    if (module->row >= pattern_rows(module, module->order)) module->row = 0;
    process_row(module);
    if (module->next_row == -1) {
      if (loop_jump_row != NO_LOOP_JUMP) {
        module->next_row = loop_jump_row;
      } else {
        module->next_row = module->row + 1;
        if (module->next_row >= pattern_rows(module, module->order)) {
          module->next_order = module->order + 1 >= song_length(module) ? wrap_order(module) : module->order + 1;
          module->next_row = 0;
        }
      }
    }
  } else {
    process_tick_effects(module);
  }
  module->tick += 1;
  if (module->tick >= module->speed + module->pattern_delay) {
    module->pattern_delay = 0;
    module->tick = 0;
  }
}
