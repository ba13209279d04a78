// info.cpp: the --info listing of xmrender.
// Owns: nothing. Thread: the caller's.
#include "tools/xmrender/info.h"

#include <cstdint>
#include <string>

namespace {

constexpr long SONG_NAME_OFFSET = 17;
constexpr long TRACKER_NAME_OFFSET = 38;
constexpr size_t NAME_BYTES = 20;

// A name field of the file header as printable text ("" when unreadable).
std::string header_name(const char* path, long offset) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return "";
  char raw[NAME_BYTES] = {};
  size_t got = std::fseek(f, offset, SEEK_SET) == 0 ? std::fread(raw, 1, NAME_BYTES, f) : 0;
  std::fclose(f);
  std::string name;
  for (size_t i = 0; i < got && raw[i] != '\0'; ++i) {
    name.push_back(raw[i] >= 0x20 && raw[i] < 0x7F ? raw[i] : '?');
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

int32_t used_cells(const Pattern& p, int32_t channel_count) {
  if (p.cells == nullptr || channel_count <= 0) return 0;
  int32_t used = 0;
  for (int64_t i = 0; i < int64_t{p.row_count} * channel_count; ++i) {
    const Cell& c = p.cells[i];
    if (c.note || c.instrument || c.volume || c.effect || c.param) ++used;
  }
  return used;
}

const char* loop_name(uint8_t loop_type) {
  switch (loop_type) {
    case LOOP_FORWARD: return "forward";
    case LOOP_PINGPONG: return "ping-pong";
    default: return "none";
  }
}

void print_envelope(FILE* out, const char* label, const EnvelopePoint* points, int count, uint8_t flags,
                    int sustain, int loop_start, int loop_end) {
  if (!(flags & ENVELOPE_ON)) return;
  std::fprintf(out, "    %s envelope, %d points:", label, count);
  for (int i = 0; i < count && i < ENVELOPE_POINTS; ++i) std::fprintf(out, " (%u,%u)", points[i].x, points[i].y);
  if (flags & ENVELOPE_SUSTAIN) std::fprintf(out, " sustain %d", sustain);
  if (flags & ENVELOPE_LOOP) std::fprintf(out, " loop %d-%d", loop_start, loop_end);
  std::fputc('\n', out);
}

void print_instrument(FILE* out, int index, const Instrument& in) {
  std::fprintf(out, "  %3d: %d samples, fadeout %u, auto-vibrato type %u sweep %u depth %u rate %u\n", index + 1,
               in.sample_count, in.fadeout, in.vibrato_type, in.vibrato_sweep, in.vibrato_depth, in.vibrato_rate);
  print_envelope(out, "volume", in.volume_envelope, in.volume_point_count, in.volume_flags, in.volume_sustain_point,
                 in.volume_loop_start, in.volume_loop_end);
  print_envelope(out, "panning", in.panning_envelope, in.panning_point_count, in.panning_flags,
                 in.panning_sustain_point, in.panning_loop_start, in.panning_loop_end);
  for (int s = 0; s < in.sample_count && s < INSTRUMENT_SAMPLES; ++s) {
    const Sample* sm = in.samples[s];
    if (sm == nullptr) continue;
    std::fprintf(out,
                 "    sample %2d: %u frames, loop %s %u+%u, volume %u, finetune %d, panning %d, relative note %d\n",
                 s, sm->length, loop_name(sm->loop_type), sm->loop_start, sm->loop_length, sm->volume, sm->finetune,
                 sm->panning, sm->relative_note);
  }
}

}  // namespace

void print_module_info(FILE* out, const char* path, const Module* m) {
  std::fprintf(out, "file:        %s\n", path);
  std::fprintf(out, "song name:   %s\n", header_name(path, SONG_NAME_OFFSET).c_str());
  std::fprintf(out, "tracker:     %s\n", header_name(path, TRACKER_NAME_OFFSET).c_str());
  std::fprintf(out, "channels:    %d\n", m->channel_count);
  std::fprintf(out, "song length: %d (restart at %d)\n", m->song_length, m->restart_position);
  std::fprintf(out, "periods:     %s\n", (m->flags & MODULE_LINEAR_TABLE) ? "linear" : "Amiga");
  std::fprintf(out, "speed, bpm:  %d, %d\n", m->default_speed, m->default_bpm);
  std::fprintf(out, "orders:     ");
  for (int i = 0; i < m->song_length && i < ORDER_TABLE_SIZE; ++i) std::fprintf(out, " %d", m->order_table[i]);
  std::fprintf(out, "\npatterns:    %d\n", m->pattern_count);
  for (int i = 0; m->patterns != nullptr && i < m->pattern_count; ++i) {
    const Pattern& p = m->patterns[i];
    std::fprintf(out, "  %3d: %3d rows, %d cells used\n", i, p.row_count, used_cells(p, m->channel_count));
  }
  std::fprintf(out, "instruments: %d\n", m->instrument_count);
  for (int i = 0; m->instruments != nullptr && i < m->instrument_count; ++i) print_instrument(out, i, m->instruments[i]);
}
