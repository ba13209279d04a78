// xm_writer.h: builds XM file bytes from a plain description, for tests,
// and loads them in place with the engine's loader.
// Owns: nothing process-wide.
// Thread: the test's thread; not for concurrent use.
//
// Every field has the value a well-formed file would carry by default; the
// std::optional overrides write deliberately broken values instead (sizes,
// counts, lengths), and XmFile::truncate_at cuts the finished bytes.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "music/module.h"

// Sample type bits as stored in the file.
constexpr uint8_t XM_SAMPLE_FORWARD = 0x01;
constexpr uint8_t XM_SAMPLE_PINGPONG = 0x02;
constexpr uint8_t XM_SAMPLE_16BIT = 0x10;

enum class XmPacking {
  FT2,      // 0x80 | mask unless all five fields are present (then 5 plain bytes)
  ALWAYS,   // always 0x80 | mask followed by the present fields
  UNPACKED, // always 5 plain bytes per cell
};

// Pattern header length of the standard layout (8 in version 1.02).
constexpr uint32_t XM_STANDARD_PATTERN_HEADER_LENGTH = 9;

struct XmPattern {
  uint16_t rows = 64;      // row count field
  std::vector<qm::Cell> cells; // rows x channel count, row-major; empty: packed size 0
                           // is written and no cell bytes; shorter: padded empty
  XmPacking packing = XmPacking::FT2;
  std::vector<uint8_t> raw_cells;         // when non-empty: written as the cell bytes
  uint32_t header_length = XM_STANDARD_PATTERN_HEADER_LENGTH; // length field (the standard one
                                          // writes 8 in version 1.02; any other value as given)
  uint8_t packing_type = 0;               // packing type field
  std::optional<uint16_t> packed_size;    // written instead of the real byte count
};

struct XmSample {
  std::vector<int32_t> pcm;             // plain sample values (8-bit: -128..127);
                                        // delta-coded by the writer
  std::optional<std::vector<uint8_t>> raw_data; // written verbatim instead of pcm
  uint8_t type = 0;                     // XM_SAMPLE_* bits (other bits pass through)
  uint32_t loop_start = 0;              // bytes, as stored in the file
  uint32_t loop_length = 0;             // bytes, as stored in the file
  uint8_t volume = 64;
  int8_t finetune = 0;
  uint8_t panning = 128;
  int8_t relative_note = 0;
  uint8_t reserved = 0;                 // 0xAD where packed_deltas is set
  std::string name;                     // up to 22 bytes
  std::optional<uint32_t> length;       // length field (bytes) instead of the data size
  // When set, pcm (8-bit values) is written packed as 4-bit deltas: this
  // table, then a nibble per frame (low nibble first) naming the delta that
  // comes closest to the next value; the length field counts frames.
  std::optional<std::array<int8_t, 16>> packed_deltas;
};

struct XmInstrument {
  std::string name;                       // up to 22 bytes
  uint8_t type = 0;
  std::vector<XmSample> samples;
  std::optional<uint16_t> sample_count;   // written instead of samples.size()
  uint32_t sample_header_size = 40;       // field only; headers are always 40 bytes
  std::array<uint8_t, qm::SAMPLE_MAP_NOTES> sample_map{};
  std::array<qm::EnvelopePoint, qm::ENVELOPE_POINTS> volume_envelope{};
  std::array<qm::EnvelopePoint, qm::ENVELOPE_POINTS> panning_envelope{};
  uint8_t volume_point_count = 0, panning_point_count = 0;
  uint8_t volume_sustain_point = 0, volume_loop_start = 0, volume_loop_end = 0;
  uint8_t panning_sustain_point = 0, panning_loop_start = 0, panning_loop_end = 0;
  uint8_t volume_flags = 0, panning_flags = 0;
  uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
  uint16_t fadeout = 0;                   // file value (the loader doubles it)
  std::optional<uint32_t> header_size;    // size field; default 263
  std::optional<uint32_t> header_bytes;   // header bytes actually written (counting
                                          // the size field, at least 4); default:
                                          // the size field's value
};

// Bytes from offset 60 to the first pattern in a standard header.
constexpr uint32_t XM_STANDARD_HEADER_SIZE = 276;
// Instrument header size of the standard layout.
constexpr uint32_t XM_STANDARD_INSTRUMENT_HEADER_SIZE = 263;

struct XmFile {
  std::string magic = "Extended Module: "; // written as 17 bytes (padded with 0)
  std::string song_name = "test song";      // up to 20 bytes
  uint8_t marker = 0x1A;
  std::string tracker_name = "qm xm writer"; // up to 20 bytes
  uint16_t version = 0x0104;                 // below 0x0104: the early layout (instruments and
                                             // sample headers, patterns, then all sample data;
                                             // 1.02 pattern headers of 8 bytes, rows - 1 in one)
  std::optional<uint32_t> header_size;       // size field; default 276
  std::optional<uint32_t> header_bytes;      // bytes written from offset 60 on
                                             // (at least 4); default: the size field
  uint16_t song_length = 1;
  uint16_t restart_position = 0;
  uint16_t channel_count = 4;
  std::optional<uint16_t> pattern_count;     // written instead of patterns.size()
  std::optional<uint16_t> instrument_count;  // written instead of instruments.size()
  uint16_t flags = qm::MODULE_LINEAR_TABLE;
  uint16_t default_speed = 6;
  uint16_t default_bpm = 125;
  std::array<uint8_t, qm::ORDER_TABLE_SIZE> order_table{};
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
  std::vector<uint8_t> trailing;             // appended after the last instrument
  std::optional<size_t> truncate_at;         // keep only this many bytes
};

// The file bytes for a description.
std::vector<uint8_t> write_xm(const XmFile& file);

// Cell of a pattern: cells[row * channel_count + channel].
qm::Cell& xm_cell(XmPattern& pattern, uint16_t channel_count, int row, int channel);

// Delta-coded data bytes of plain sample values (16-bit: little-endian pairs).
std::vector<uint8_t> xm_delta_encode(const std::vector<int32_t>& pcm, bool sixteen_bit);
// The packed data block of 8-bit values (see XmSample::packed_deltas) and the
// values it decodes to (equal to pcm where every step is in the table).
std::vector<uint8_t> xm_pack_encode(const std::vector<int32_t>& pcm, const std::array<int8_t, 16>& deltas,
                                    std::vector<int32_t>* decoded = nullptr);

// Writes bytes to a new file in the temporary directory; returns its path
// (empty on failure). The caller removes it (TempFile does so itself).
std::string write_temp_file(const std::vector<uint8_t>& bytes);
struct TempFile {
  explicit TempFile(const std::vector<uint8_t>& bytes) : path(write_temp_file(bytes)) {}
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  std::string path;
};

// Loads bytes in place with load_song_memory (no file, no file callbacks);
// null when the load is refused. Released with free_module or free_song.
qm::Module* load_module_from_memory(const uint8_t* data, size_t size);
inline qm::Module* load_module_from_memory(const std::vector<uint8_t>& bytes) {
  return load_module_from_memory(bytes.data(), bytes.size());
}
