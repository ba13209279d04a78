// xm_walk.cpp: the stages of reading an XM file into a song: the module
// header, the order table, the patterns and the instrument headers (the
// samples of an instrument are read by xm_samples.cpp). walk_song runs them
// once; song_load.cpp runs it twice, measuring and then filling.
// Owns: nothing; writes into the load's Module (see song_block.h).
// Thread: the loading thread.
//
// Refusals of the file itself (status and one sentence):
// - not an XM file: the file is empty or its first bytes differ from
//   "Extended Module: ";
// - header incomplete: the file is shorter than its module header. The
//   module header is the fixed fields up to the order table (80 bytes) and
//   then as many bytes as its size field at offset 60 declares, counted from
//   offset 60, up to the end of the 256-entry order table: a file must hold
//   max(80, min(60 + header size, 336)) bytes (80 when it ends before the
//   size field). A file of 1 to 16 bytes that matches the magic so far is
//   incomplete too;
// - unsupported: a version field below 1.02; an instrument with more than
//   256 samples (its keymap names at most 256) or a song with more than 4,000;
//   under strict loading also a version below 1.04 and an instrument with
//   more than 16 samples (and packed samples, xm_samples.cpp).
//
// Versions 1.02 and 1.03 lay the file out differently: the instruments with
// their sample headers come right after the module header, then the
// patterns, then the data blocks of every sample; a 1.02 pattern header is
// 8 bytes, its row count one byte holding the rows minus one.
//
// Files damaged past the module header still load. Values that a well-formed
// file never holds are limited where the song can still be played, and each
// limit leaves a warning in the song (instruments count from 1 as cells name
// them, patterns and sample slots from 0 as trackers show them):
// - channel count 0: the file holds no cells; the song gets one channel of
//   empty cells ("channel count 0 raised to 1"). Above 32: all the file's
//   channels are decoded to stay in step with the file, the first 32 are kept
//   ("channel count 40 limited to 32").
// - song length above 256: 256. Restart position at or beyond the song
//   length: 0 ("restart position 9 is past the song length 4; restarting at 0").
// - a header size that ends inside the order table (trackers that store only
//   the song's orders): the entries beyond it read as 0, not as pattern bytes;
//   a warning only when the song's orders reach past it.
// - every one of the 256 order entries names a pattern that exists (entries
//   after the song length included), so pattern_count may exceed the plain
//   max(file count, used_pattern_count) when such an entry names a pattern
//   the file lacks; the extra patterns are 64 empty rows (as the format
//   defines, no warning).
// - pattern numbers above 255 cannot be named by the order table: their
//   cells are read past but not kept, and pattern_count is at most 256.
// - a pattern header is always 9 bytes (8 in version 1.02), whatever its
//   length field says (a warning names a field that says otherwise: what
//   follows may be read out of step).
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
//   file holds (xm_samples.cpp). One warning marks where the patterns end and
//   one where the instruments do. Trackers leave out trailing empty
//   instruments, so instruments past the end, and those whose header ends
//   before its sample count, are empty without a warning; a cut header,
//   sample header or data block of an instrument with samples is warned of.
// - a version above 1.04 loads as 1.04 ("version 1.05 is newer than 1.04").
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "music/xm_samples.h"
#include "music/xm_walk.h"

namespace qm {

const Sample empty_sample{};

namespace {

constexpr char XM_MAGIC[] = "Extended Module: "; // 17 bytes, the last a space
constexpr size_t XM_MAGIC_BYTES = 17;
constexpr size_t XM_SONG_NAME_OFFSET = 17;
constexpr size_t XM_TRACKER_NAME_OFFSET = 38;
constexpr size_t XM_TITLE_BYTES = 20; // song and tracker names
constexpr size_t XM_VERSION_OFFSET = 58;
constexpr int64_t XM_HEADER_SIZE_OFFSET = 60;
constexpr int64_t XM_FIXED_HEADER_END = 80;  // the order table starts here
constexpr int64_t XM_FULL_HEADER_END = 336;  // .. and ends here
constexpr size_t XM_HEADER_BYTES = 276;      // size field .. end of the order table
constexpr uint32_t XM_ORDER_TABLE_OFFSET = 20; // within those bytes
constexpr size_t XM_PATTERN_HEADER_BYTES = 9;
constexpr size_t XM_1_02_PATTERN_HEADER_BYTES = 8;  // the row count is one byte
constexpr size_t XM_PATTERN_ROWS_OFFSET = 5;
constexpr uint32_t XM_INSTRUMENT_FIELDS_BYTES = 241; // size field .. fadeout
constexpr uint32_t XM_INSTRUMENT_SIZE_FIELD_BYTES = 4;
constexpr size_t XM_SAMPLE_COUNT_OFFSET = 27;
constexpr size_t XM_SAMPLE_COUNT_END = 29; // the sample count ends here
constexpr int64_t XM_SAMPLE_HEADER_BYTES = 40;
constexpr int32_t XM_MAX_ROWS = 256;
constexpr int32_t XM_EMPTY_PATTERN_ROWS = 64;
constexpr uint8_t XM_KEY_OFF_NOTE = 97;
constexpr uint8_t CELL_KEY_OFF = 255;
constexpr uint8_t CELL_PACKED = 0x80;
constexpr uint8_t INITIAL_GLOBAL_VOLUME = 64;

// The header's counts as the file states them.
struct FileCounts {
  int32_t channels;
  int32_t patterns;
  int32_t instruments;
};

// "1.04" for 0x0104.
struct VersionText {
  char text[8];
};
VersionText version_text(uint16_t version) {
  VersionText t{};
  std::snprintf(t.text, sizeof t.text, "%x.%02x", version >> 8, version & 0xFF);
  return t;
}

// Wrong magic, a file too short for its header, or a version we do not play.
bool check_file_start(XmLoad* load, const uint8_t* head) {
  int64_t size = load->reader.size;
  size_t present = static_cast<size_t>(std::min<int64_t>(size, XM_MAGIC_BYTES));
  if (size == 0) return load_fail(load, QM_ERROR_NOT_XM, "the file is empty");
  if (std::memcmp(head, XM_MAGIC, present) != 0) {
    char start[SONG_NAME_BYTES];
    copy_name(start, head, present);
    return load_fail(load, QM_ERROR_NOT_XM, "it starts with \"%s\", not \"Extended Module: \"", start);
  }
  int64_t needed = XM_FIXED_HEADER_END;
  if (size >= XM_HEADER_SIZE_OFFSET + 4) {
    int64_t declared = XM_HEADER_SIZE_OFFSET + read_le32(head + XM_HEADER_SIZE_OFFSET);
    needed = std::max(XM_FIXED_HEADER_END, std::min(declared, XM_FULL_HEADER_END));
  }
  if (size < needed)
    return load_fail(load, QM_ERROR_HEADER_INCOMPLETE, "the file holds %lld bytes; its module header needs %lld",
                     static_cast<long long>(size), static_cast<long long>(needed));
  uint16_t version = read_le16(head + XM_VERSION_OFFSET);
  uint16_t earliest = load->strict ? XM_VERSION_1_04 : XM_VERSION_1_02;
  if (version < earliest)
    return load_fail(load, QM_ERROR_UNSUPPORTED, "version %s; only %s and later are supported",
                     version_text(version).text, version_text(earliest).text);
  if (version > XM_VERSION_1_04)
    load_warn(load, QM_WARNING_NEWER_VERSION, "version %s is newer than 1.04", version_text(version).text);
  load->module->version = version;
  return true;
}

// Counts, song length, restart position and the order table, limited.
void parse_header_fields(XmLoad* load, uint8_t* h, FileCounts* c) {
  Module* m = load->module;
  uint32_t header_size = read_le32(h);
  // Some trackers store only the song's orders; entries beyond the header
  // would be pattern bytes and read as 0 instead.
  uint32_t table_end = std::max(header_size, XM_ORDER_TABLE_OFFSET);
  if (table_end < XM_HEADER_BYTES) std::memset(h + table_end, 0, XM_HEADER_BYTES - table_end);
  int32_t held = static_cast<int32_t>(std::min<uint32_t>(table_end, XM_HEADER_BYTES) - XM_ORDER_TABLE_OFFSET);
  int32_t file_length = read_le16(h + 4);
  int32_t song_length = std::min(file_length, ORDER_TABLE_SIZE);
  int32_t restart = read_le16(h + 6);
  c->channels = read_le16(h + 8);
  c->patterns = read_le16(h + 10);
  c->instruments = read_le16(h + 12);
  if (file_length > ORDER_TABLE_SIZE)
    load_warn(load, QM_WARNING_COUNT_CLAMPED, "song length %d limited to 256", file_length);
  if (song_length > held)
    load_warn(load, QM_WARNING_ORDERS_PAST_HEADER,
              "song length %d reaches past the %d orders the header holds; the rest read as 0", song_length, held);
  if (restart >= song_length && restart != 0)
    load_warn(load, QM_WARNING_VALUE_LIMITED, "restart position %d is past the song length %d; restarting at 0",
              restart, song_length);
  if (c->channels < 1 || c->channels > CHANNEL_COUNT)
    load_warn(load, QM_WARNING_COUNT_CLAMPED, "channel count %d %s to %d", c->channels,
              c->channels < 1 ? "raised" : "limited", c->channels < 1 ? 1 : CHANNEL_COUNT);
  if (c->instruments > XM_MAX_INSTRUMENTS)
    load_warn(load, QM_WARNING_COUNT_CLAMPED, "instrument count %d limited to 128", c->instruments);
  m->song_length = static_cast<int16_t>(song_length);
  m->restart_position = static_cast<int16_t>(restart < song_length ? restart : 0);
  m->channel_count = static_cast<int16_t>(std::clamp(c->channels, 1, CHANNEL_COUNT));
  m->instrument_count = static_cast<int16_t>(std::min(c->instruments, XM_MAX_INSTRUMENTS));
  m->flags = read_le16(h + 14);
  m->default_speed = static_cast<int16_t>(read_le16(h + 16));
  m->default_bpm = static_cast<int16_t>(read_le16(h + 18));
  std::memcpy(m->order_table, h + XM_ORDER_TABLE_OFFSET, ORDER_TABLE_SIZE);
}

// Checks the file's start, reads the names and header fields; the reader
// ends at the first pattern.
bool read_module_header(XmLoad* load, FileCounts* c) {
  ByteReader* r = &load->reader;
  Module* m = load->module;
  uint8_t head[XM_FULL_HEADER_END];
  reader_seek(r, 0);
  reader_read(r, head, sizeof head);
  if (!check_file_start(load, head)) return false;
  m->initial_global_volume = INITIAL_GLOBAL_VOLUME;
  m->sample_numbers = 1;
  copy_name(m->name, head + XM_SONG_NAME_OFFSET, XM_TITLE_BYTES);
  copy_name(m->tracker_name, head + XM_TRACKER_NAME_OFFSET, XM_TITLE_BYTES);
  uint8_t* h = head + XM_HEADER_SIZE_OFFSET;
  uint32_t header_size = read_le32(h);
  parse_header_fields(load, h, c);
  if (load->pass == LoadPass::MEASURE) load->plan.channels = m->channel_count;
  if (m->channel_count != load->plan.channels)
    return load_fail(load, QM_ERROR_READ, "the channel count changed while the file was read");
  reader_seek(r, XM_HEADER_SIZE_OFFSET + header_size);
  return true;
}

// Decodes one cell; false at the end of the file, leaving the cell empty.
bool read_cell(ByteReader* r, Cell* cell) {
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


// Gives pattern index `rows` rows of storage (the plan's, while filling).
Cell* make_pattern(XmLoad* load, int32_t index, int32_t rows) {
  Cell* cells = take_cells(load, index, rows);
  if (load->pass == LoadPass::FILL && cells != nullptr) {
    load->module->patterns[index].row_count = rows;
    load->module->patterns[index].cells = cells;
  }
  return cells;
}

// Reads one pattern header and its cells; keep is false for a pattern that
// is read past but not kept.
bool read_pattern(XmLoad* load, int32_t index, bool keep, int32_t file_channels) {
  ByteReader* r = &load->reader;
  const bool short_rows = load->module->version == XM_VERSION_1_02;
  const size_t header_bytes = short_rows ? XM_1_02_PATTERN_HEADER_BYTES : XM_PATTERN_HEADER_BYTES;
  uint8_t header[XM_PATTERN_HEADER_BYTES] = {};
  bool whole = reader_read(r, header, header_bytes) == header_bytes;
  int32_t rows = short_rows ? header[XM_PATTERN_ROWS_OFFSET] + 1 : read_le16(header + XM_PATTERN_ROWS_OFFSET);
  uint16_t packed_size = read_le16(header + header_bytes - 2);
  int32_t kept_rows = rows == 0 ? XM_EMPTY_PATTERN_ROWS : std::min(rows, XM_MAX_ROWS);
  uint32_t header_length = read_le32(header);
  Cell* cells = nullptr;
  if (keep) {
    if (whole && header_length != header_bytes)
      load_warn(load, QM_WARNING_VALUE_LIMITED, "pattern %d has header length %u; read as %zu", index, header_length,
                header_bytes);
    if (!whole && first_end(&load->pattern_end_warned))
      load_warn(load, QM_WARNING_PATTERN_DATA_SHORT, "the header of pattern %d is cut short", index);
    if (whole && rows == 0)
      load_warn(load, QM_WARNING_COUNT_CLAMPED, "pattern %d has 0 rows; it plays as 64 empty rows", index);
    if (rows > XM_MAX_ROWS)
      load_warn(load, QM_WARNING_COUNT_CLAMPED, "pattern %d has %d rows; the first 256 are kept", index, rows);
    cells = make_pattern(load, index, kept_rows);
    if (load->pass == LoadPass::FILL && cells == nullptr) return false;
  }
  if (!whole || packed_size == 0) return load_ok(load);
  int32_t channels = load->module->channel_count;
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t c = 0; c < file_channels; ++c) {
      Cell cell{};
      if (!read_cell(r, &cell)) {
        if (keep && first_end(&load->pattern_end_warned))
          load_warn(load, QM_WARNING_PATTERN_DATA_SHORT, "pattern %d ends after row %d of %d", index, row, rows);
        return load_ok(load);
      }
      if (cells != nullptr && row < kept_rows && c < channels) cells[row * channels + c] = cell;
    }
  }
  return load_ok(load);
}

// Counts the used patterns and reads (or creates) every pattern.
bool read_patterns(XmLoad* load, const FileCounts& c) {
  Module* m = load->module;
  int32_t used = 0;
  for (int32_t p = 0; p < m->song_length; ++p)
    if (m->order_table[p] >= used) used = m->order_table[p] + 1;
  m->used_pattern_count = used;
  int32_t named = 0; // every order entry, also past the song length
  for (uint8_t entry : m->order_table) named = std::max(named, entry + 1);
  int32_t kept = std::min(c.patterns, XM_MAX_PATTERNS);
  if (c.patterns > XM_MAX_PATTERNS)
    load_warn(load, QM_WARNING_COUNT_CLAMPED, "pattern count %d limited to 256", c.patterns);
  for (int32_t i = 0; i < c.patterns; ++i) {
    if (reader_remaining(&load->reader) == 0) { // the file ends: it holds no more patterns
      if (i < kept && first_end(&load->pattern_end_warned))
        load_warn(load, QM_WARNING_PATTERN_DATA_SHORT, "the file ends before pattern %d of %d", i, c.patterns);
      kept = std::min(kept, i);
      break;
    }
    if (!read_pattern(load, i, i < kept, c.channels)) return false;
  }
  int32_t count = std::max({kept, used, named});
  for (int32_t i = kept; i < count; ++i)
    if (make_pattern(load, i, XM_EMPTY_PATTERN_ROWS) == nullptr && load->pass == LoadPass::FILL) return false;
  if (load->pass == LoadPass::MEASURE) load->plan.pattern_count = count;
  if (count != load->plan.pattern_count)
    return load_fail(load, QM_ERROR_READ, "the pattern count changed while the file was read");
  m->pattern_count = count;
  return load_ok(load);
}

// A point index limited to the 12-point table, with a warning when it was not.
uint8_t envelope_point(XmLoad* load, uint8_t value, const char* which, int32_t instrument) {
  if (value < ENVELOPE_POINTS) return value;
  load_warn(load, QM_WARNING_VALUE_LIMITED, "the %s of instrument %d is %d; limited to 11", which, instrument,
            value);
  return ENVELOPE_POINTS - 1;
}

uint8_t envelope_count(XmLoad* load, uint8_t value, const char* which, int32_t instrument) {
  if (value <= ENVELOPE_POINTS) return value;
  load_warn(load, QM_WARNING_COUNT_CLAMPED, "the %s envelope of instrument %d has %d points; limited to 12", which,
            instrument, value);
  return ENVELOPE_POINTS;
}

// The instrument fields after the sample count, from the header image;
// number is the instrument's number (from 1) for the warnings.
void parse_instrument_fields(XmLoad* load, const uint8_t* h, Instrument* ins, int32_t number) {
  std::memcpy(ins->sample_map, h + 33, SAMPLE_MAP_NOTES);
  for (int i = 0; i < ENVELOPE_POINTS; ++i) {
    ins->volume_envelope[i] = EnvelopePoint{read_le16(h + 129 + 4 * i), read_le16(h + 131 + 4 * i)};
    ins->panning_envelope[i] = EnvelopePoint{read_le16(h + 177 + 4 * i), read_le16(h + 179 + 4 * i)};
  }
  const uint8_t* t = h + 225;
  ins->volume_point_count = envelope_count(load, t[0], "volume", number);
  ins->panning_point_count = envelope_count(load, t[1], "panning", number);
  ins->volume_sustain_point = envelope_point(load, t[2], "volume sustain point", number);
  ins->volume_loop_start = envelope_point(load, t[3], "volume loop start", number);
  ins->volume_loop_end = envelope_point(load, t[4], "volume loop end", number);
  ins->panning_sustain_point = envelope_point(load, t[5], "panning sustain point", number);
  ins->panning_loop_start = envelope_point(load, t[6], "panning loop start", number);
  ins->panning_loop_end = envelope_point(load, t[7], "panning loop end", number);
  ins->volume_flags = ins->volume_point_count < 2 ? 0 : t[8];
  ins->panning_flags = ins->panning_point_count < 2 ? 0 : t[9];
  ins->vibrato_type = t[10];
  ins->vibrato_sweep = t[11];
  ins->vibrato_depth = t[12];
  ins->vibrato_rate = t[13];
  ins->fadeout = static_cast<uint16_t>(read_le16(h + 239) * 2);
}

// One instrument header and its samples; index counts from 0.
bool read_instrument(XmLoad* load, Instrument* ins, int32_t index) {
  ByteReader* r = &load->reader;
  int32_t number = index + 1;
  int64_t start = r->pos;
  uint8_t h[XM_INSTRUMENT_FIELDS_BYTES] = {};
  size_t got = reader_read(r, h, XM_INSTRUMENT_SIZE_FIELD_BYTES);
  uint32_t declared = read_le32(h);
  uint32_t size = std::max(declared, XM_INSTRUMENT_SIZE_FIELD_BYTES);
  uint32_t present = std::min(size, XM_INSTRUMENT_FIELDS_BYTES);
  got += reader_read(r, h + XM_INSTRUMENT_SIZE_FIELD_BYTES, present - XM_INSTRUMENT_SIZE_FIELD_BYTES);
  bool whole = got == present;
  if (whole && declared < XM_INSTRUMENT_SIZE_FIELD_BYTES)
    load_warn(load, QM_WARNING_VALUE_LIMITED, "instrument %d has header size %u; read as 4", number, declared);
  copy_name(ins->name, h + 4, XM_NAME_FIELD_BYTES);
  // A count the file does not hold whole is 0: trackers leave out trailing
  // empty instruments, so a file may end among them.
  uint16_t sample_count = got >= XM_SAMPLE_COUNT_END ? read_le16(h + XM_SAMPLE_COUNT_OFFSET) : 0;
  if (!whole && sample_count > 0 && first_end(&load->instrument_end_warned))
    load_warn(load, QM_WARNING_SAMPLE_DATA_SHORT, "the header of instrument %d is cut short", number);
  if (load->strict && sample_count > STRICT_INSTRUMENT_SAMPLES)
    return load_fail(load, QM_ERROR_UNSUPPORTED, "instrument %d has %d samples; at most 16 are supported", number,
                     sample_count);
  if (sample_count > MAX_INSTRUMENT_SAMPLES)
    return load_fail(load, QM_ERROR_UNSUPPORTED,
                     "instrument %d has %d samples; its keymap names at most 256, so at most 256 are supported",
                     number, sample_count);
  if (load->pass == LoadPass::MEASURE) load->plan.sample_counts[index] = sample_count;
  if (load->plan.sample_counts[index] != sample_count)
    return load_fail(load, QM_ERROR_READ, "instrument %d changed while the file was read", number);
  if (sample_count > 0) {
    parse_instrument_fields(load, h, ins, number);
    if (whole && present < XM_INSTRUMENT_FIELDS_BYTES)
      load_warn(load, QM_WARNING_VALUE_LIMITED,
                "the header of instrument %d holds %u of its 241 bytes; the fields past it read as 0", number, present);
  }
  ins->sample_count = sample_count;
  reader_seek(r, start + size);
  return read_sample_headers(load, ins, index);
}

// Reads past the headers of instruments a song does not keep (those past
// 128) where the patterns follow them (versions before 1.04); their sample
// data, after the kept instruments' data, is never read.
void skip_instrument_headers(XmLoad* load, int32_t count) {
  ByteReader* r = &load->reader;
  for (int32_t i = 0; i < count && reader_remaining(r) > 0; ++i) {
    int64_t start = r->pos;
    uint8_t h[XM_SAMPLE_COUNT_END] = {};
    reader_read(r, h, sizeof h);
    uint32_t size = std::max(read_le32(h), XM_INSTRUMENT_SIZE_FIELD_BYTES);
    uint16_t samples = size >= XM_SAMPLE_COUNT_END ? read_le16(h + XM_SAMPLE_COUNT_OFFSET) : 0;
    reader_seek(r, start + size + int64_t{samples} * XM_SAMPLE_HEADER_BYTES);
  }
}

// The instruments with their sample headers, and each one's sample data
// right after them when `with_data` (version 1.04 and later).
bool read_instruments(XmLoad* load, const FileCounts& c, bool with_data) {
  Module* m = load->module;
  if (load->pass == LoadPass::MEASURE) load->plan.instrument_count = m->instrument_count;
  if (m->instrument_count != load->plan.instrument_count)
    return load_fail(load, QM_ERROR_READ, "the instrument count changed while the file was read");
  for (int32_t i = 0; i < m->instrument_count && load_ok(load); ++i) {
    Instrument* ins = &load->scratch_instrument;
    if (load->pass == LoadPass::FILL) {
      ins = &m->instruments[i];
    } else {
      std::memset(ins, 0, sizeof *ins);
    }
    if (!read_instrument(load, ins, i)) return false;
    if (with_data && !read_sample_data(load, i, i + 1)) return false;
  }
  if (!with_data) skip_instrument_headers(load, c.instruments - m->instrument_count);
  return load_ok(load);
}

} // namespace

bool walk_song(XmLoad* load) {
  FileCounts counts{};
  if (!read_module_header(load, &counts)) return false;
  if (load->module->version >= XM_VERSION_1_04)
    return read_patterns(load, counts) && read_instruments(load, counts, true);
  return read_instruments(load, counts, false) && read_patterns(load, counts) &&
         read_sample_data(load, 0, load->module->instrument_count);
}

}  // namespace qm
