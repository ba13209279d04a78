// module_invariants.cpp: the loader's guarantees, checked field by field.
#include "tests/loader/module_invariants.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace qm;

namespace {


// A stored name: zero-terminated inside its field, printable ASCII, no
// trailing space.
bool name_ok(const char* name) {
  size_t n = strnlen(name, SONG_NAME_BYTES);
  if (n == SONG_NAME_BYTES || (n > 0 && name[n - 1] == ' ')) return false;
  for (size_t i = 0; i < n; ++i)
    if (name[i] < 0x20 || name[i] > 0x7E) return false;
  return true;
}

std::string sample_error(const Sample* s) {
  if (s == nullptr) return "null sample slot";
  if (s == &empty_sample) return "";
  if (!name_ok(s->name)) return "bad sample name";
  if ((s->length == 0) != (s->data == nullptr)) return "data present iff length > 0 violated";
  if (s->loop_type != LOOP_NONE && s->loop_type != LOOP_FORWARD && s->loop_type != LOOP_PINGPONG)
    return "bad loop type";
  if (s->volume > 64) return "volume above 64";
  if (s->loop_type == LOOP_NONE && (s->loop_start != 0 || s->loop_length != s->length))
    return "no-loop sample with loop fields";
  if (s->loop_type != LOOP_NONE &&
      (s->loop_length == 0 || static_cast<uint64_t>(s->loop_start) + s->loop_length > s->length))
    return "loop outside the sample";
  if (s->data != nullptr) {
    if (s->bits != 16) return "loaded sample not 16-bit";
    for (uint32_t i = 1; i <= SAMPLE_LEAD_FRAMES; ++i)
      if (s->data[-static_cast<int64_t>(i)] != 0) return "lead frame not zero";
    // Touching the spare frames lets the address sanitizer see the block's extent.
    volatile int16_t last = s->data[s->length + SAMPLE_SPARE_FRAMES - 1];
    (void)last;
  }
  return "";
}

// *next_number is the number the instrument's first sample must carry (the
// song numbers its samples in order from 1); it moves past its samples.
std::string instrument_error(const Instrument& ins, int32_t* next_number) {
  if (ins.sample_count < 0 || ins.sample_count > MAX_INSTRUMENT_SAMPLES) return "sample_count out of range";
  if ((ins.sample_count == 0) != (ins.samples == nullptr)) return "slots present iff sample_count > 0 violated";
  if (!name_ok(ins.name)) return "bad instrument name";
  for (int j = 0; j < ins.sample_count; ++j) {
    if (ins.samples[j] == nullptr || ins.samples[j] == &empty_sample) return "empty slot below sample_count";
    if (ins.samples[j]->number != *next_number)
      return "sample " + std::to_string(j) + " has number " + std::to_string(ins.samples[j]->number);
    ++*next_number;
    std::string e = sample_error(ins.samples[j]);
    if (!e.empty()) return "sample " + std::to_string(j) + ": " + e;
  }
  if (ins.volume_point_count > ENVELOPE_POINTS || ins.panning_point_count > ENVELOPE_POINTS)
    return "envelope point count above 12";
  const uint8_t points[] = {ins.volume_sustain_point,  ins.volume_loop_start,  ins.volume_loop_end,
                            ins.panning_sustain_point, ins.panning_loop_start, ins.panning_loop_end};
  for (uint8_t p : points)
    if (p >= ENVELOPE_POINTS) return "envelope point index above 11";
  if ((ins.volume_flags != 0 && ins.volume_point_count < 2) ||
      (ins.panning_flags != 0 && ins.panning_point_count < 2))
    return "envelope on with fewer than 2 points";
  return "";
}

} // namespace

std::string module_invariant_error(const Module* m) {
  if (m == nullptr) return "null module";
  if (m->channel_count < 1 || m->channel_count > 32) return "channel_count out of 1..32";
  if (m->song_length < 0 || m->song_length > ORDER_TABLE_SIZE) return "song_length out of 0..256";
  if (m->restart_position < 0 || (m->restart_position > 0 && m->restart_position >= m->song_length))
    return "restart_position outside the song";
  if (m->pattern_count < 1 || m->pattern_count > 256 || m->patterns == nullptr) return "bad pattern_count";
  if (m->used_pattern_count > m->pattern_count) return "used_pattern_count above pattern_count";
  for (int p = 0; p < ORDER_TABLE_SIZE; ++p)
    if (m->order_table[p] >= m->pattern_count) return "order entry " + std::to_string(p) + " names no pattern";
  for (int i = 0; i < m->pattern_count; ++i) {
    const Pattern& pat = m->patterns[i];
    if (pat.row_count < 1 || pat.row_count > 256 || pat.cells == nullptr)
      return "pattern " + std::to_string(i) + " without rows";
    // The last cell must lie inside the allocation (seen by the address sanitizer).
    volatile uint8_t last = pat.cells[pat.row_count * m->channel_count - 1].param;
    (void)last;
  }
  if (m->instrument_count < 0 || m->instrument_count > 128) return "instrument_count out of 0..128";
  if (m->instrument_count > 0 && m->instruments == nullptr) return "instruments missing";
  if (m->sample_numbers < 1 || m->sample_numbers > MAX_SAMPLE_NUMBERS) return "sample_numbers out of range";
  int32_t next_number = 1;
  for (int i = 0; i < m->instrument_count; ++i) {
    std::string e = instrument_error(m->instruments[i], &next_number);
    if (!e.empty()) return "instrument " + std::to_string(i) + ": " + e;
  }
  if (next_number != m->sample_numbers) return "sample_numbers is not one past the last sample's number";
  if (m->initial_global_volume != 64) return "initial global volume unset";
  if (m->version < XM_VERSION_1_02 || !name_ok(m->name) || !name_ok(m->tracker_name)) return "bad version or names";
  if (m->warning_count < 0) return "negative warning count";
  for (int i = 0; i < std::min(m->warning_count, SONG_WARNINGS_KEPT + 1); ++i) {
    const SongWarning& w = m->warnings[i];
    size_t n = strnlen(w.text, SONG_WARNING_TEXT_BYTES);
    if (w.kind < 1 || w.kind > 6 || n == 0 || n == SONG_WARNING_TEXT_BYTES) return "bad warning " + std::to_string(i);
  }
  return "";
}
