// song_block.cpp: the one block of memory a loaded song lives in, and the
// records of a load: its refusal, its warnings and the names it stores.
// Owns: the song block from its allocation until load_song hands it over.
// Thread: the loading thread.
//
// Layout, each section starting on a 16-byte boundary: the Module, its
// Pattern records, its Instrument records, the instruments' sample slots
// (pointers, instrument by instrument), its Sample records, the frame
// blocks of the samples (SAMPLE_LEAD_FRAMES zero frames, the frames,
// SAMPLE_SPARE_FRAMES zero frames, each block rounded up to 16 bytes), and
// the cells of every pattern. The size is summed in 64 bits from the plan
// before anything is allocated.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "music/song_block.h"

namespace qm {

namespace {

constexpr uint64_t BLOCK_ALIGN = 16;
constexpr uint8_t FIRST_PRINTABLE = 0x20;
constexpr uint8_t LAST_PRINTABLE = 0x7E;

uint64_t aligned(uint64_t bytes) { return (bytes + BLOCK_ALIGN - 1) & ~(BLOCK_ALIGN - 1); }

// Bytes of one sample's frame block.
uint64_t frame_block_bytes(uint32_t frames) {
  return aligned((uint64_t{SAMPLE_LEAD_FRAMES} + frames + SAMPLE_SPARE_FRAMES) * sizeof(int16_t));
}

void format_into(char* out, size_t capacity, const char* format, va_list args) {
  std::vsnprintf(out, capacity, format, args);
}

} // namespace

SongLayout song_layout(const SongPlan& plan) {
  SongLayout l{};
  uint64_t samples = static_cast<uint64_t>(plan.sample_total), frames = 0, cells = 0;
  for (int32_t k = 0; k < plan.sample_total; ++k)
    if (plan.frames[k] > 0) frames += frame_block_bytes(plan.frames[k]);
  for (int32_t p = 0; p < plan.pattern_count; ++p)
    cells += static_cast<uint64_t>(plan.rows[p]) * static_cast<uint64_t>(plan.channels);
  l.patterns = aligned(sizeof(Module));
  l.instruments = l.patterns + aligned(static_cast<uint64_t>(plan.pattern_count) * sizeof(Pattern));
  l.slots = l.instruments + aligned(static_cast<uint64_t>(plan.instrument_count) * sizeof(Instrument));
  l.samples = l.slots + aligned(samples * sizeof(const Sample*));
  l.frames = l.samples + aligned(samples * sizeof(Sample));
  l.cells = l.frames + frames;
  l.total = l.cells + cells * sizeof(Cell);
  return l;
}

Module* song_block_start(XmLoad* load, uint8_t* base, const SongLayout& layout) {
  SongBlock& b = load->block;
  b.base = base;
  // The records' own ends, not the sections': a section is padded to 16
  // bytes, which a Sample's size divides only where pointers take 8 bytes.
  const auto sample_count = static_cast<size_t>(load->plan.sample_total);
  b.next_slot = reinterpret_cast<const Sample**>(base + layout.slots);
  b.slots_end = b.next_slot + sample_count;
  b.samples = reinterpret_cast<Sample*>(base + layout.samples);
  b.next_sample = b.samples;
  b.samples_end = b.next_sample + sample_count;
  b.next_frames = base + layout.frames;
  b.frames_end = base + layout.cells;
  b.next_cell = reinterpret_cast<Cell*>(base + layout.cells);
  b.cells_end = reinterpret_cast<Cell*>(base + layout.total);
  auto* m = reinterpret_cast<Module*>(base);
  m->patterns = load->plan.pattern_count > 0 ? reinterpret_cast<Pattern*>(base + layout.patterns) : nullptr;
  m->instruments = load->plan.instrument_count > 0 ? reinterpret_cast<Instrument*>(base + layout.instruments) : nullptr;
  return m;
}

Cell* take_cells(XmLoad* load, int32_t pattern, int32_t rows) {
  if (load->pass == LoadPass::MEASURE) {
    if (pattern < XM_MAX_PATTERNS) load->plan.rows[pattern] = rows;
    return nullptr;
  }
  SongBlock& b = load->block;
  size_t count = static_cast<size_t>(rows) * static_cast<size_t>(load->plan.channels);
  if (pattern >= load->plan.pattern_count || load->plan.rows[pattern] != rows ||
      count > static_cast<size_t>(b.cells_end - b.next_cell)) {
    load_fail(load, QM_ERROR_READ, "pattern %d changed while the file was read", pattern);
    return nullptr;
  }
  Cell* cells = b.next_cell;
  b.next_cell += count;
  return cells;
}

const Sample** take_slots(XmLoad* load, int32_t instrument, int32_t count) {
  if (load->pass == LoadPass::MEASURE) return nullptr;
  SongBlock& b = load->block;
  if (instrument >= load->plan.instrument_count || count != load->plan.sample_counts[instrument] ||
      count > b.slots_end - b.next_slot) {
    load_fail(load, QM_ERROR_READ, "instrument %d changed while the file was read", instrument + 1);
    return nullptr;
  }
  if (count == 0) return nullptr;
  const Sample** slots = b.next_slot;
  b.next_slot += count;
  return slots;
}

Sample* take_sample(XmLoad* load, int32_t number, int32_t instrument, int32_t slot) {
  if (load->pass == LoadPass::MEASURE) return &load->scratch_sample;
  SongBlock& b = load->block;
  if (instrument >= load->plan.instrument_count || slot >= load->plan.sample_counts[instrument] ||
      number != b.next_sample - b.samples || b.next_sample == b.samples_end) {
    load_fail(load, QM_ERROR_READ, "instrument %d changed while the file was read", instrument + 1);
    return nullptr;
  }
  return b.next_sample++;
}

int16_t* take_frames(XmLoad* load, int32_t number, int32_t instrument, int32_t slot, uint32_t frames) {
  SongBlock& b = load->block;
  uint64_t bytes = frame_block_bytes(frames);
  if (load->plan.frames[number] != frames || bytes > static_cast<uint64_t>(b.frames_end - b.next_frames)) {
    load_fail(load, QM_ERROR_READ, "sample %d of instrument %d changed while the file was read", slot,
              instrument + 1);
    return nullptr;
  }
  auto* block = reinterpret_cast<int16_t*>(b.next_frames);
  b.next_frames += bytes;
  return block + SAMPLE_LEAD_FRAMES;
}

bool load_fail(XmLoad* load, qm_status status, const char* format, ...) {
  if (load->status != QM_OK) return false;
  va_list args;
  va_start(args, format);
  char detail[QM_TEXT_CAPACITY];
  format_into(detail, sizeof detail, format, args);
  va_end(args);
  if (load->pass == LoadPass::FILL && status != QM_ERROR_READ) {
    status = QM_ERROR_READ;
    std::snprintf(detail, sizeof detail, "the file changed while it was read");
  }
  load->status = status;
  std::memcpy(load->detail, detail, sizeof detail);
  return false;
}

void load_warn(XmLoad* load, qm_warning_kind kind, const char* format, ...) {
  if (load->pass != LoadPass::FILL) return;
  Module* m = load->module;
  if (m->warning_count < SONG_WARNINGS_KEPT) {
    SongWarning& w = m->warnings[m->warning_count];
    w.kind = static_cast<uint8_t>(kind);
    va_list args;
    va_start(args, format);
    format_into(w.text, sizeof w.text, format, args);
    va_end(args);
  } else if (m->warning_count == SONG_WARNINGS_KEPT) {
    m->warnings[SONG_WARNINGS_KEPT].kind = static_cast<uint8_t>(kind);
  }
  if (m->warning_count < INT32_MAX) ++m->warning_count;
}

void finish_warnings(Module* m) {
  if (m->warning_count <= SONG_WARNINGS_KEPT) return;
  uint64_t rest = static_cast<uint64_t>(m->warning_count - SONG_WARNINGS_KEPT);
  SongWarning& summary = m->warnings[SONG_WARNINGS_KEPT];
  std::snprintf(summary.text, sizeof summary.text, "%s more %s not listed", count_text(rest).text,
                rest == 1 ? "repair is" : "repairs are");
}

bool load_ok(const XmLoad* load) { return load->status == QM_OK && !load->reader.failed; }

CountText count_text(uint64_t value) {
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
  CountText t{};
  int at = 0;
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) t.text[at++] = ',';
    t.text[at++] = digits[i];
  }
  return t;
}

void copy_name(char* out, const uint8_t* field, size_t field_bytes) {
  size_t end = std::min(field_bytes, static_cast<size_t>(SONG_NAME_BYTES - 1));
  while (end > 0 && (field[end - 1] == ' ' || field[end - 1] == 0)) --end;
  for (size_t i = 0; i < end; ++i)
    out[i] = field[i] >= FIRST_PRINTABLE && field[i] <= LAST_PRINTABLE ? static_cast<char>(field[i]) : '?';
  out[end] = 0;
}

}  // namespace qm
