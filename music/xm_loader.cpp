// xm_loader.cpp: reads an XM file into a Module (header, order table,
// patterns, instrument headers) and releases a Module; the samples of an
// instrument are read by xm_samples.cpp.
// Owns: the Module records it allocates until load_module hands them over.
// Touches: the file callbacks (through FileHandle), mix_busy, current_module
// and stop_module of the output when a module is freed.
// Thread: the loading thread (the main thread in the demo).
//
// Hostile files: whatever the bytes, the result is a Module that keeps every
// read of the replayer and mixer inside its records, or null. Values that a
// well-formed file never holds are limited where the module can still be
// played and refused only where nothing sensible remains:
// - channel count 0: the file holds no cells; the module gets one channel of
//   empty cells (silence) so that every row has storage. Above 32: all the
//   file's channels are decoded to stay in step with the file, the first 32
//   are kept.
// - song length above 256: limited to 256. Restart position at or beyond the
//   song length: 0.
// - a header size that ends inside the order table (trackers that store only
//   the song's orders): the entries beyond it read as 0, not as pattern bytes.
// - every one of the 256 order entries names a pattern that exists (entries
//   after the song length included), so pattern_count may exceed the plain
//   max(file count, used_pattern_count) when such an entry names a pattern
//   the file lacks; the extra patterns are 64 empty rows.
// - pattern numbers above 255 cannot be named by the order table: their
//   cells are read past but not kept, and pattern_count is at most 256.
// - a pattern of 0 rows becomes 64 empty rows; more than 256 rows keep the
//   first 256 (all rows are still decoded).
// - instrument count above 128: the first 128 are read (cells name 1..128).
// - an instrument header size below the fields it should hold: the fields
//   beyond it read as 0 and its samples start where the size says; a size
//   below 4 counts as 4 (the size field itself).
// - envelope point counts above 12 are limited to 12, point indices to 11.
// - truncated files: missing bytes read as 0; pattern decoding stops at the
//   end of the file (the remaining cells stay empty); patterns whose header
//   lies past the end are not in the file (only those the order table names
//   are made, as 64 empty rows); sample lengths are limited to the data the
//   file holds (xm_samples.cpp).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "music/channel.h"
#include "music/music.h"
#include "music/xm_loader_internal.h"

const Sample empty_sample{};

namespace {

constexpr char XM_MAGIC[] = "Extended Module: "; // 17 bytes, the last a space
constexpr size_t XM_MAGIC_BYTES = 17;
constexpr int64_t XM_HEADER_SIZE_OFFSET = 60;
constexpr size_t XM_HEADER_BYTES = 276; // size field .. end of the order table
constexpr uint32_t XM_ORDER_TABLE_OFFSET = 20; // within those bytes
constexpr size_t XM_PATTERN_HEADER_BYTES = 9;
constexpr size_t XM_INSTRUMENT_FIELDS_BYTES = 241; // size field .. fadeout
constexpr int32_t XM_MAX_ROWS = 256;
constexpr int32_t XM_EMPTY_PATTERN_ROWS = 64;
constexpr int32_t XM_MAX_PATTERNS = 256; // the order table names 0..255
constexpr int32_t XM_MAX_INSTRUMENTS = 128;
constexpr uint8_t XM_KEY_OFF_NOTE = 97;
constexpr uint8_t CELL_KEY_OFF = 255;
constexpr uint8_t CELL_PACKED = 0x80;
constexpr int32_t SEEK_FROM_START = 0;
constexpr int32_t SEEK_FROM_END = 2;
constexpr uint8_t INITIAL_GLOBAL_VOLUME = 64;

// Reads the stream at the reader's position; the result lies in 0..count.
int32_t stream_read(XmReader* r, void* destination, int32_t count) {
  if (r->stream_pos != r->pos) {
    handle_seek(r->handle, static_cast<int32_t>(r->pos), SEEK_FROM_START);
    r->stream_pos = r->pos;
  }
  int32_t got = handle_read(destination, count, r->handle);
  got = std::clamp(got, 0, count);
  r->stream_pos += got;
  return got;
}

} // namespace

bool reader_open(XmReader* r, FileHandle* handle) {
  std::memset(r, 0, sizeof *r);
  r->handle = handle;
  handle_seek(handle, 0, SEEK_FROM_END);
  int32_t size = handle_tell(handle);
  handle_seek(handle, 0, SEEK_FROM_START);
  if (size < 0) return false;
  r->size = size;
  return true;
}

int64_t reader_remaining(const XmReader* r) { return r->pos < r->size ? r->size - r->pos : 0; }

void reader_seek(XmReader* r, int64_t offset) { r->pos = offset < 0 ? 0 : offset; }

size_t reader_read(XmReader* r, void* destination, size_t count) {
  auto* out = static_cast<uint8_t*>(destination);
  std::memset(out, 0, count);
  int64_t end = r->pos + static_cast<int64_t>(count);
  size_t delivered = 0;
  while (r->pos < end && r->pos < r->size) {
    int64_t buffer_end = r->buffer_start + r->buffer_fill;
    if (r->pos >= r->buffer_start && r->pos < buffer_end) {
      int64_t n = std::min(end, buffer_end) - r->pos;
      std::memcpy(out + delivered, r->buffer + (r->pos - r->buffer_start), static_cast<size_t>(n));
      r->pos += n;
      delivered += static_cast<size_t>(n);
      continue;
    }
    int64_t want = std::min(end, r->size) - r->pos;
    bool direct = want >= XM_READ_BUFFER_BYTES;
    int32_t ask = direct ? static_cast<int32_t>(std::min<int64_t>(want, INT32_MAX))
                         : static_cast<int32_t>(std::min<int64_t>(XM_READ_BUFFER_BYTES, r->size - r->pos));
    int64_t at = r->pos;
    int32_t got;
    if (direct) {
      got = stream_read(r, out + delivered, ask);
      // Whatever a short read left beyond its count is not file data.
      std::memset(out + delivered + got, 0, static_cast<size_t>(ask - got));
      r->pos += got;
      delivered += static_cast<size_t>(got);
    } else {
      got = stream_read(r, r->buffer, ask);
      r->buffer_start = at;
      r->buffer_fill = got;
    }
    // A short read means the file ends there, whatever its size said.
    if (got < ask) r->size = at + got;
  }
  r->pos = end;
  return delivered;
}

namespace {

// Decodes one cell; false at the end of the file, leaving the cell empty.
bool read_cell(XmReader* r, Cell* cell) {
  if (reader_remaining(r) == 0) return false;
  uint8_t first = 0;
  reader_read(r, &first, 1);
  uint8_t fields[5] = {};
  if (first & CELL_PACKED) {
    for (int i = 0; i < 5; ++i)
      if (first & (1 << i)) reader_read(r, &fields[i], 1);
  } else {
    fields[0] = first;
    reader_read(r, &fields[1], 4);
  }
  cell->note = fields[0] == XM_KEY_OFF_NOTE ? CELL_KEY_OFF : fields[0];
  cell->instrument = fields[1] > XM_MAX_INSTRUMENTS ? 0 : fields[1];
  cell->volume = fields[2];
  cell->effect = fields[3];
  cell->param = fields[4];
  return true;
}

// Gives a pattern row_count empty rows of the module's channels.
bool allocate_cells(Pattern* pattern, int32_t rows, int32_t channels) {
  pattern->row_count = rows;
  pattern->cells = static_cast<Cell*>(std::calloc(static_cast<size_t>(rows) * channels, sizeof(Cell)));
  return pattern->cells != nullptr;
}

// Reads pattern header and cells; pattern is null for a pattern that is read
// past but not kept.
bool read_pattern(XmReader* r, Pattern* pattern, int32_t file_channels, int32_t channels) {
  uint8_t header[XM_PATTERN_HEADER_BYTES];
  reader_read(r, header, sizeof header);
  int32_t rows = read_le16(header + 5);
  uint16_t packed_size = read_le16(header + 7);
  if (pattern != nullptr) {
    int32_t kept = rows == 0 ? XM_EMPTY_PATTERN_ROWS : std::min(rows, XM_MAX_ROWS);
    if (!allocate_cells(pattern, kept, channels)) return false;
  }
  if (packed_size == 0) return true;
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t c = 0; c < file_channels; ++c) {
      Cell cell{};
      if (!read_cell(r, &cell)) return true;
      if (pattern != nullptr && row < pattern->row_count && c < channels)
        pattern->cells[row * channels + c] = cell;
    }
  }
  return true;
}

// Header fields and order table; false for a wrong magic.
bool read_module_header(XmReader* r, Module* m, int32_t* file_patterns, int32_t* file_channels,
                        int32_t* file_instruments) {
  uint8_t magic[XM_MAGIC_BYTES];
  reader_seek(r, 0);
  reader_read(r, magic, sizeof magic);
  if (std::memcmp(magic, XM_MAGIC, XM_MAGIC_BYTES) != 0) return false;
  m->initial_global_volume = INITIAL_GLOBAL_VOLUME;

  uint8_t h[XM_HEADER_BYTES];
  reader_seek(r, XM_HEADER_SIZE_OFFSET);
  reader_read(r, h, sizeof h);
  uint32_t header_size = read_le32(h);
  // Some trackers store only the song's orders; entries beyond the header
  // would be pattern bytes and read as 0 instead.
  if (header_size < XM_HEADER_BYTES)
    std::memset(h + std::max<uint32_t>(header_size, XM_ORDER_TABLE_OFFSET), 0,
                XM_HEADER_BYTES - std::max<uint32_t>(header_size, XM_ORDER_TABLE_OFFSET));
  int32_t song_length = std::min<int32_t>(read_le16(h + 4), ORDER_TABLE_SIZE);
  int32_t restart = read_le16(h + 6);
  *file_channels = read_le16(h + 8);
  *file_patterns = read_le16(h + 10);
  *file_instruments = read_le16(h + 12);
  m->song_length = static_cast<int16_t>(song_length);
  m->restart_position = static_cast<int16_t>(restart < song_length ? restart : 0);
  m->channel_count = static_cast<int16_t>(std::clamp(*file_channels, 1, CHANNEL_COUNT));
  m->instrument_count = static_cast<int16_t>(std::min(*file_instruments, XM_MAX_INSTRUMENTS));
  m->flags = read_le16(h + 14);
  m->default_speed = static_cast<int16_t>(read_le16(h + 16));
  m->default_bpm = static_cast<int16_t>(read_le16(h + 18));
  std::memcpy(m->order_table, h + XM_ORDER_TABLE_OFFSET, ORDER_TABLE_SIZE);
  reader_seek(r, XM_HEADER_SIZE_OFFSET + header_size);
  return true;
}

// Counts the used patterns and reads (or creates) every pattern.
bool read_patterns(XmReader* r, Module* m, int32_t file_patterns, int32_t file_channels) {
  int32_t used = 0;
  for (int32_t p = 0; p < m->song_length; ++p)
    if (m->order_table[p] >= used) used = m->order_table[p] + 1;
  m->used_pattern_count = used;
  int32_t named = 0; // every order entry, also past the song length
  for (uint8_t entry : m->order_table) named = std::max(named, entry + 1);
  int32_t kept = std::min(file_patterns, XM_MAX_PATTERNS);
  m->pattern_count = std::max({kept, used, named});
  m->patterns = static_cast<Pattern*>(std::calloc(static_cast<size_t>(m->pattern_count), sizeof(Pattern)));
  if (m->patterns == nullptr) return false;
  for (int32_t i = 0; i < file_patterns; ++i) {
    if (reader_remaining(r) == 0) { // the file ends: it holds no more patterns
      kept = std::min(kept, i);
      m->pattern_count = std::max({kept, used, named});
      break;
    }
    Pattern* pattern = i < kept ? &m->patterns[i] : nullptr;
    if (!read_pattern(r, pattern, file_channels, m->channel_count)) return false;
  }
  for (int32_t i = kept; i < m->pattern_count; ++i)
    if (!allocate_cells(&m->patterns[i], XM_EMPTY_PATTERN_ROWS, m->channel_count)) return false;
  return true;
}

// The instrument fields after the sample count, from the header image.
void parse_instrument_fields(const uint8_t* h, Instrument* ins) {
  std::memcpy(ins->sample_map, h + 33, SAMPLE_MAP_NOTES);
  for (int i = 0; i < ENVELOPE_POINTS; ++i) {
    ins->volume_envelope[i] = EnvelopePoint{read_le16(h + 129 + 4 * i), read_le16(h + 131 + 4 * i)};
    ins->panning_envelope[i] = EnvelopePoint{read_le16(h + 177 + 4 * i), read_le16(h + 179 + 4 * i)};
  }
  const uint8_t* t = h + 225;
  auto point = [](uint8_t v) { return std::min<uint8_t>(v, ENVELOPE_POINTS - 1); };
  ins->volume_point_count = std::min<uint8_t>(t[0], ENVELOPE_POINTS);
  ins->panning_point_count = std::min<uint8_t>(t[1], ENVELOPE_POINTS);
  ins->volume_sustain_point = point(t[2]);
  ins->volume_loop_start = point(t[3]);
  ins->volume_loop_end = point(t[4]);
  ins->panning_sustain_point = point(t[5]);
  ins->panning_loop_start = point(t[6]);
  ins->panning_loop_end = point(t[7]);
  ins->volume_flags = ins->volume_point_count < 2 ? 0 : t[8];
  ins->panning_flags = ins->panning_point_count < 2 ? 0 : t[9];
  ins->vibrato_type = t[10];
  ins->vibrato_sweep = t[11];
  ins->vibrato_depth = t[12];
  ins->vibrato_rate = t[13];
  ins->fadeout = static_cast<uint16_t>(read_le16(h + 239) * 2);
}

// One instrument header and its samples; false for more than 16 samples.
bool read_instrument(XmReader* r, Instrument* ins) {
  int64_t start = r->pos;
  uint8_t h[XM_INSTRUMENT_FIELDS_BYTES] = {};
  reader_read(r, h, 4);
  uint32_t size = std::max<uint32_t>(read_le32(h), 4);
  size_t present = std::min<size_t>(size, XM_INSTRUMENT_FIELDS_BYTES);
  reader_read(r, h + 4, present - 4);
  uint16_t sample_count = read_le16(h + 27);
  if (sample_count > INSTRUMENT_SAMPLES) return false;
  if (sample_count > 0) parse_instrument_fields(h, ins);
  ins->sample_count = sample_count;
  reader_seek(r, start + size);
  return load_instrument_samples(r, ins);
}

bool parse_module(Module* m, FileHandle* handle) {
  XmReader* r = static_cast<XmReader*>(std::malloc(sizeof(XmReader)));
  if (r == nullptr) return false;
  int32_t file_patterns = 0, file_channels = 0, file_instruments = 0;
  bool ok = reader_open(r, handle) &&
            read_module_header(r, m, &file_patterns, &file_channels, &file_instruments) &&
            read_patterns(r, m, file_patterns, file_channels);
  if (ok && m->instrument_count > 0) {
    m->instruments = static_cast<Instrument*>(std::calloc(static_cast<size_t>(m->instrument_count), sizeof(Instrument)));
    ok = m->instruments != nullptr;
    for (int32_t i = 0; ok && i < m->instrument_count; ++i) {
      ok = read_instrument(r, &m->instruments[i]);
      for (int32_t j = 0; ok && j < m->instruments[i].sample_count; ++j) {
        Sample* s = const_cast<Sample*>(m->instruments[i].samples[j]);
        s->number = static_cast<uint16_t>(i * INSTRUMENT_SAMPLES + j + 1);
        m->sample_numbers = s->number + 1;
      }
    }
  }
  std::free(r);
  return ok;
}

} // namespace

// Releases everything a Module owns and the Module itself.
void free_song(Module* m) {
  if (m == nullptr) return;
  if (m->instruments != nullptr) {
    for (int32_t i = 0; i < m->instrument_count; ++i) {
      Instrument& ins = m->instruments[i];
      for (int32_t j = 0; j < ins.sample_count && j < INSTRUMENT_SAMPLES; ++j) free_sample(ins.samples[j]);
    }
    std::free(m->instruments);
  }
  if (m->patterns != nullptr) {
    for (int32_t i = 0; i < m->pattern_count; ++i) std::free(m->patterns[i].cells);
    std::free(m->patterns);
  }
  std::free(m);
}

Module* load_module(const char* path) {
  auto* m = static_cast<Module*>(std::calloc(1, sizeof(Module)));
  if (m == nullptr) return nullptr;
  FileHandle* handle = handle_open(path, 0, 0);
  if (handle == nullptr) {
    std::free(m);
    return nullptr;
  }
  bool ok = parse_module(m, handle);
  handle_close(handle);
  if (!ok) {
    // Never played: released without touching the playback of another module.
    free_song(m);
    return nullptr;
  }
  return m;
}
