// song_compare.cpp: see song_compare.h.
#include "tests/loader/song_compare.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace qm;

namespace {

std::string sample_difference(const Sample* a, const Sample* b) {
  if ((a == &empty_sample) != (b == &empty_sample)) return "empty slot differs";
  if (a->length != b->length || a->loop_start != b->loop_start || a->loop_length != b->loop_length ||
      a->volume != b->volume || a->finetune != b->finetune || a->panning != b->panning || a->bits != b->bits ||
      a->loop_type != b->loop_type || a->relative_note != b->relative_note || a->number != b->number ||
      std::strcmp(a->name, b->name) != 0)
    return "header fields differ";
  if ((a->data == nullptr) != (b->data == nullptr)) return "data presence differs";
  if (a->data == nullptr) return "";
  size_t frames = SAMPLE_LEAD_FRAMES + a->length + SAMPLE_SPARE_FRAMES;
  if (std::memcmp(a->data - SAMPLE_LEAD_FRAMES, b->data - SAMPLE_LEAD_FRAMES, frames * sizeof(int16_t)) != 0)
    return "frames differ";
  return "";
}

std::string instrument_difference(const Instrument& a, const Instrument& b) {
  // Everything after the sample slots is plain values.
  const size_t from = offsetof(Instrument, sample_map);
  if (a.sample_count != b.sample_count ||
      std::memcmp(reinterpret_cast<const uint8_t*>(&a) + from, reinterpret_cast<const uint8_t*>(&b) + from,
                  sizeof(Instrument) - from) != 0)
    return "fields differ";
  for (int j = 0; j < a.sample_count; ++j) {
    std::string e = sample_difference(a.samples[j], b.samples[j]);
    if (!e.empty()) return "sample " + std::to_string(j) + ": " + e;
  }
  return "";
}

struct Range {
  uintptr_t start, end;
  std::string what;
};

} // namespace

std::string song_difference(const Module* a, const Module* b) {
  if (a == nullptr || b == nullptr) return "null song";
  if (a->song_length != b->song_length || a->restart_position != b->restart_position ||
      a->channel_count != b->channel_count || a->used_pattern_count != b->used_pattern_count ||
      a->pattern_count != b->pattern_count || a->instrument_count != b->instrument_count || a->flags != b->flags ||
      a->default_speed != b->default_speed || a->default_bpm != b->default_bpm ||
      std::memcmp(a->order_table, b->order_table, ORDER_TABLE_SIZE) != 0 ||
      a->initial_global_volume != b->initial_global_volume || a->version != b->version ||
      a->sample_numbers != b->sample_numbers || std::strcmp(a->name, b->name) != 0 ||
      std::strcmp(a->tracker_name, b->tracker_name) != 0)
    return "header fields differ";
  if (a->warning_count != b->warning_count) return "warning counts differ";
  for (int i = 0; i < std::min(a->warning_count, SONG_WARNINGS_KEPT + 1); ++i)
    if (a->warnings[i].kind != b->warnings[i].kind || std::strcmp(a->warnings[i].text, b->warnings[i].text) != 0)
      return "warning " + std::to_string(i) + " differs";
  for (int p = 0; p < a->pattern_count; ++p) {
    const Pattern& x = a->patterns[p];
    const Pattern& y = b->patterns[p];
    if (x.row_count != y.row_count ||
        std::memcmp(x.cells, y.cells, sizeof(Cell) * x.row_count * a->channel_count) != 0)
      return "pattern " + std::to_string(p) + " differs";
  }
  for (int i = 0; i < a->instrument_count; ++i) {
    std::string e = instrument_difference(a->instruments[i], b->instruments[i]);
    if (!e.empty()) return "instrument " + std::to_string(i) + ": " + e;
  }
  return "";
}

std::string song_outside_block(const Module* m, const void* block, size_t bytes) {
  std::vector<Range> parts;
  auto add = [&parts](const void* p, size_t n, std::string what) {
    if (n > 0) parts.push_back({reinterpret_cast<uintptr_t>(p), reinterpret_cast<uintptr_t>(p) + n, std::move(what)});
  };
  add(m, sizeof(Module), "the Module");
  add(m->patterns, sizeof(Pattern) * m->pattern_count, "the pattern records");
  for (int p = 0; p < m->pattern_count; ++p)
    add(m->patterns[p].cells, sizeof(Cell) * m->patterns[p].row_count * m->channel_count,
        "the cells of pattern " + std::to_string(p));
  add(m->instruments, sizeof(Instrument) * m->instrument_count, "the instrument records");
  for (int i = 0; i < m->instrument_count; ++i) {
    add(m->instruments[i].samples, sizeof(const Sample*) * m->instruments[i].sample_count,
        "the sample slots of instrument " + std::to_string(i));
    for (int j = 0; j < m->instruments[i].sample_count; ++j) {
      const Sample* s = m->instruments[i].samples[j];
      std::string name = "sample " + std::to_string(j) + " of instrument " + std::to_string(i);
      add(s, sizeof(Sample), name);
      if (s->data != nullptr)
        add(s->data - SAMPLE_LEAD_FRAMES, sizeof(int16_t) * (SAMPLE_LEAD_FRAMES + s->length + SAMPLE_SPARE_FRAMES),
            "the frames of " + name);
    }
  }
  std::sort(parts.begin(), parts.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
  uintptr_t start = reinterpret_cast<uintptr_t>(block), end = start + bytes, covered = start;
  for (const Range& r : parts) {
    if (r.start < start || r.end > end) return r.what + " lies outside the block";
    if (r.start < covered) return r.what + " overlaps another part";
    covered = r.end;
  }
  return "";
}
