// row.cpp: the tick driver and the row tick: reading a row's cells, starting
// notes and instruments, the volume column and the row-tick part of every
// effect, and the song position (breaks, jumps, pattern loops, wrap-around).
// Owns: nothing. Touches: the Player's position, row state and channels;
// voices only through update_voice and the sample offset's start_offset.
// Reads the song.
// Thread: the thread rendering the player.
#include <algorithm>
#include <cstdint>

#include "music/row.h"
#include "music/tick_effects.h"

namespace qm {

namespace {

constexpr int32_t MAX_BREAK_ROW = 63;
constexpr int32_t SPEED_LIMIT = 32;  // F below it sets the speed, from it the tempo
constexpr uint8_t LOW_UPDATE_BITS = UPDATE_FREQUENCY | UPDATE_VOLUME | UPDATE_PAN | UPDATE_START;
constexpr int32_t NO_LOOP_JUMP = -1;

// Order positions that can be read: song_length held to the order table.
int32_t song_length(const Module* song) {
  return clamp_to<int32_t>(song->song_length, 0, ORDER_TABLE_SIZE);
}

const Pattern* pattern_at(const Module* song, int32_t order) {
  if (order < 0 || order >= ORDER_TABLE_SIZE || song->patterns == nullptr) return nullptr;
  int32_t index = song->order_table[order];
  return index < song->pattern_count ? &song->patterns[index] : nullptr;
}

int32_t pattern_rows(const Module* song, int32_t order) {
  const Pattern* p = pattern_at(song, order);
  return p != nullptr ? p->row_count : EMPTY_PATTERN_ROWS;
}

// The order position after the last one: restart_position, or 0 when that
// lies outside the song.
int32_t wrap_order(const Module* song) {
  int32_t restart = song->restart_position;
  return restart >= 0 && restart < song_length(song) ? restart : 0;
}

// Effect L: moves the volume envelope to tick p.
void set_envelope_position(Channel* c, const Instrument* in, int32_t p) {
  int32_t n = in->volume_point_count < ENVELOPE_POINTS ? in->volume_point_count : ENVELOPE_POINTS;
  if (n < 1) return;
  const EnvelopePoint* pts = in->volume_envelope;
  int32_t j = 0;
  while (j <= n - 2 && p > pts[j + 1].x) ++j;
  EnvelopeState& e = c->volume_env;
  if (j > n - 2) {
    e.point = n - 1;
    e.value = point_y(pts[n - 1]);
    e.finished = 1;
    return;
  }
  int32_t dx = pts[j + 1].x - pts[j].x;
  e.finished = 0;
  e.tick = p;
  e.slope = dx == 0 ? 0 : (point_y(pts[j + 1]) - point_y(pts[j])) * 65536 / dx;
  e.point = j + 1;
  e.value_fixed = point_y(pts[j]) * 65536 + (p - pts[j].x) * e.slope;
  e.value = e.value_fixed >> 16;
}

// A channel's volume, period and panning before its cell is applied; the
// note delay puts them back so the old note plays on until its tick.
struct Remembered {
  int32_t volume, period, panning;
};

// The E sub-effects on the row tick.
void extended_row(Player* pl, Channel* c, const Cell* cell, const Sample* sample, const Remembered& remembered) {
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
    case EXT_SET_FINETUNE:  // E5y: set the sample's finetune for every channel of this player
      if (sample != &empty_sample && sample->number < MAX_SAMPLE_NUMBERS) {
        pl->finetune[sample->number] = static_cast<int8_t>(y);
        pl->finetune_set[sample->number] = 1;
      }
      break;
    case EXT_PATTERN_LOOP:  // E6y: pattern loop
      if (y == 0) {
        c->loop_row = pl->row;
      } else {
        c->loop_count = c->loop_count == 0 ? y : c->loop_count - 1;
        if (c->loop_count != 0) pl->loop_jump_row = c->loop_row;
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
      c->volume = std::min(c->volume + c->fine_volume_slide, MAX_VOLUME);
      c->update_flags |= UPDATE_VOLUME;
      break;
    case EXT_FINE_VOLUME_DOWN:  // EBy: fine volume slide down
      if (y != 0) c->fine_volume_slide = y;
      c->volume = std::max(c->volume - c->fine_volume_slide, 0);
      c->update_flags |= UPDATE_VOLUME;
      break;
    case EXT_NOTE_DELAY:  // EDy: note delay; the old note goes on until tick y
      c->volume = remembered.volume;
      c->period = remembered.period;
      c->panning = remembered.panning;
      c->update_flags &= static_cast<uint8_t>(~LOW_UPDATE_BITS);
      break;
    case EXT_PATTERN_DELAY:  // EEy: pattern delay of y rows
      pl->pattern_delay = pl->speed * y;
      break;
    default:  // E0, E3, E9 (retrigger) and EC (note cut) act on later ticks
      break;
  }
}

// The cell's effect on the row tick.
void effect_row(Player* pl, Channel* c, const Cell* cell, const Sample* sample, const Instrument* instrument,
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
      pl->next_row = 0;
      pl->next_order = param >= song_length(pl->song) ? 0 : param;
      pl->position_jump_mark = true;
      break;
    case EFFECT_SET_VOLUME:  // Cxx: set volume (65..255 kept as given)
      c->volume = param;
      c->update_flags |= UPDATE_VOLUME;
      break;
    case EFFECT_PATTERN_BREAK:  // Dxy: pattern break to row 10x + y
      pl->next_row = 10 * x + y > MAX_BREAK_ROW ? 0 : 10 * x + y;
      if (!pl->position_jump_mark) pl->next_order = pl->order + 1;
      if (pl->next_order >= song_length(pl->song)) pl->next_order = 0;
      break;
    case EFFECT_EXTENDED:  // Exy: extended effects
      extended_row(pl, c, cell, sample, remembered);
      break;
    case EFFECT_SPEED_TEMPO:  // Fxx: speed below 32, tempo from 32
      if (param < SPEED_LIMIT) {
        pl->speed = param;
      } else {
        set_bpm(pl, param);
      }
      break;
    case EFFECT_SET_GLOBAL_VOLUME:  // Gxx: set global volume
      pl->global_volume = std::min<int32_t>(param, MAX_VOLUME);
      c->update_flags |= UPDATE_VOLUME;
      break;
    case EFFECT_GLOBAL_VOLUME_SLIDE:  // Hxy: global volume slide
      if (param != 0) pl->global_volume_slide = param;
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
void apply_cell(Player* pl, Channel* c, const Cell* cell) {
  bool porta = cell->effect == EFFECT_TONE_PORTA || cell->effect == EFFECT_TONE_PORTA_VOLUME_SLIDE;
  bool has_note = cell->note != 0 && cell->note != NOTE_KEY_OFF;
  if (cell->instrument != 0 && !porta) c->instrument = static_cast<uint8_t>(cell->instrument - 1);
  if (has_note && !porta) c->note = static_cast<uint8_t>(cell->note - 1);
  const Instrument* instrument = channel_instrument(pl->song, c);
  const Sample* sample = channel_sample(instrument, c);
  const Remembered remembered{c->volume, c->period, c->panning};
  if (c->last_effect == EFFECT_TREMOLO && cell->effect != EFFECT_TREMOLO) c->volume += c->volume_offset;
  c->last_effect = cell->effect;
  c->volume_offset = 0;
  c->update_flags = 0;
  if (has_note) {
    c->real_note = static_cast<uint8_t>(cell->note + sample->relative_note - 1);
    c->note_period = note_period(pl->song, c->real_note, sample_finetune(pl, sample));
    if (!porta) c->period = c->note_period;
    c->update_flags = UPDATE_START;
  }
  c->period_offset = 0;
  c->update_flags |= UPDATE_FREQUENCY | UPDATE_VOLUME;
  if (cell->instrument != 0) reset_channel(c, sample);
  if (cell->volume != 0) volume_column_row(c, cell->volume);
  if (cell->note == NOTE_KEY_OFF || cell->effect == EFFECT_KEY_OFF) c->released = 1;
  step_envelopes(c, instrument, true);
  effect_row(pl, c, cell, sample, instrument, remembered);
  auto_vibrato_step(c, instrument);
  update_voice(pl, c, sample);
}

}  // namespace

const Instrument* channel_instrument(const Module* song, const Channel* channel) {
  if (song->instruments == nullptr || channel->instrument >= song->instrument_count) return &empty_instrument;
  return &song->instruments[channel->instrument];
}

const Sample* channel_sample(const Instrument* instrument, const Channel* channel) {
  if (channel->note >= SAMPLE_MAP_NOTES) return &empty_sample;
  uint8_t slot = instrument->sample_map[channel->note];
  if (slot >= instrument->sample_count) return &empty_sample;
  return instrument->samples[slot];
}

int32_t sample_finetune(const Player* player, const Sample* sample) {
  uint16_t n = sample->number;
  if (n < MAX_SAMPLE_NUMBERS && player->finetune_set[n]) return player->finetune[n];
  return sample->finetune;
}

int32_t rows_at_order(const Module* song, int32_t order) { return pattern_rows(song, order); }

const Cell* current_row_cells(const Player* player) {
  const Module* song = player->song;
  const Pattern* p = pattern_at(song, player->order);
  if (p == nullptr || p->cells == nullptr || song->channel_count <= 0) return nullptr;
  if (player->row < 0 || player->row >= p->row_count) return nullptr;
  return &p->cells[static_cast<size_t>(player->row) * static_cast<size_t>(song->channel_count)];
}

void process_row(Player* player) {
  player->next_row = -1;
  player->next_order = -1;
  player->position_jump_mark = false;
  player->loop_jump_row = NO_LOOP_JUMP;
  const Cell* cells = current_row_cells(player);
  if (cells == nullptr) return;
  int32_t count = player->song->channel_count < CHANNEL_COUNT ? player->song->channel_count : CHANNEL_COUNT;
  for (int32_t i = 0; i < count; ++i) apply_cell(player, &player->channels[i], &cells[i]);
}

// The row tick: moves to the row decided on the previous row, plays it, and
// decides the next one.
static void row_tick(Player* p) {
  const Module* song = p->song;
  if (p->next_order >= 0) p->order = p->next_order;
  if (p->next_row >= 0) p->row = p->next_row;
  // A break or loop to a row the pattern does not have starts it at its top.
  if (p->row >= pattern_rows(song, p->order)) p->row = 0;
  process_row(p);
  if (p->next_row != -1) return;
  if (p->loop_jump_row != NO_LOOP_JUMP) {
    p->next_row = p->loop_jump_row;
    return;
  }
  p->next_row = p->row + 1;
  if (p->next_row >= pattern_rows(song, p->order)) {
    p->next_order = p->order + 1 >= song_length(song) ? wrap_order(song) : p->order + 1;
    p->next_row = 0;
  }
}

void replay_tick(Player* player) {
  if (player->tick == 0) {
    row_tick(player);
  } else {
    process_tick_effects(player);
  }
  player->tick += 1;
  if (player->tick >= player->speed + player->pattern_delay) {
    player->pattern_delay = 0;
    player->tick = 0;
  }
}

}  // namespace qm
