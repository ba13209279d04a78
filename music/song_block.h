// song_block.h: what the stages of the XM loader share: the state of one
// load, its two passes over the file, the song block the second pass fills,
// and the refusal and warning records (song_block.cpp). The stages
// themselves: xm_walk.h (header, patterns, instruments) and xm_samples.h.
// Owns: nothing. Thread: the loading thread.
//
// A load walks the file twice with the same code. The measuring pass
// records every size (rows of each pattern, samples of each instrument,
// frames of each sample) in the plan and stores nothing; the song block is
// then allocated once; the filling pass walks again, checks each size
// against the plan before it takes room in the block, and fills it. A size,
// or a byte the measuring pass read, that differs between the passes fails
// the load with "read error", so a source that changes can never make it
// write outside the block. The measuring pass skips the sample data; only
// the filling pass reads it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "music/byte_source.h"
#include "music/module.h"
#include "quillmere/music.h"

namespace qm {

constexpr int32_t XM_MAX_PATTERNS = 256;   // the order table names 0..255
constexpr int32_t XM_MAX_INSTRUMENTS = 128; // cells name 1..128
constexpr size_t XM_NAME_FIELD_BYTES = 22;  // instrument and sample names in the file

enum class LoadPass : uint8_t { MEASURE, FILL };

// How a sample's data is stored in the file (SongPlan::kinds).
constexpr uint8_t SAMPLE_DATA_16BIT = 0x01;  // 16-bit deltas (else 8-bit)
constexpr uint8_t SAMPLE_DATA_PACKED = 0x02; // 8-bit values packed as 4-bit deltas

// Every size the measuring pass found. Samples are counted through the song,
// instrument by instrument and slot by slot, from 0.
struct SongPlan {
  int32_t channels;                          // channel_count, 1..32
  int32_t pattern_count;                     // 1..256
  int32_t rows[XM_MAX_PATTERNS];             // kept rows of each pattern, 1..256
  int32_t instrument_count;                  // 0..128
  int32_t sample_counts[XM_MAX_INSTRUMENTS]; // 0..MAX_INSTRUMENT_SAMPLES per instrument
  int32_t first_samples[XM_MAX_INSTRUMENTS]; // the song's number of each one's first sample
  int32_t sample_total;                      // 0..MAX_SONG_SAMPLES
  uint32_t frames[MAX_SONG_SAMPLES];         // kept frames per sample (declared ones until its data is read)
  uint8_t kinds[MAX_SONG_SAMPLES];           // SAMPLE_DATA_* per sample
  uint64_t digest;                           // the reader's digest at the end of the pass
};

// The free room of each section of the song block during the filling pass.
struct SongBlock {
  uint8_t* base;        // the block, holding the Module at offset 0
  const Sample** next_slot; // instruments' sample slots still free ..
  const Sample** slots_end;
  Sample* samples;      // the song's Sample records, in the song's order ..
  Sample* next_sample;  // .. those still free ..
  Sample* samples_end;
  uint8_t* next_frames; // sample frame blocks still free ..
  uint8_t* frames_end;
  Cell* next_cell;      // cells still free ..
  Cell* cells_end;
};

struct XmLoad {
  ByteReader reader;
  LoadPass pass;
  bool strict;               // only what a 1.04 file with 16 plain samples per instrument holds
  SongPlan plan;
  SongBlock block;
  Module* module;            // the scratch record while measuring, the block's while filling
  Module scratch;            // header values of the measuring pass
  Instrument scratch_instrument;
  Sample scratch_sample;     // each sample header of the measuring pass
  bool pattern_end_warned;   // one warning for the file's end among the patterns,
  bool instrument_end_warned; // one among the instruments (their samples included)
  qm_status status;          // the first refusal, QM_OK while none
  char detail[QM_TEXT_CAPACITY];
};

// The formats below are checked as the C99 printf's: on Windows, MinGW's
// C runtime is the C99 one (%zu and the like), not Microsoft's.
#if defined(__MINGW32__)
#define QM_LOAD_FORMAT gnu_printf
#else
#define QM_LOAD_FORMAT printf
#endif

// Records a refusal (the first one counts; in the filling pass every refusal
// becomes "read error": the first pass accepted these bytes). Returns false.
bool load_fail(XmLoad* load, qm_status status, const char* format, ...)
    __attribute__((format(QM_LOAD_FORMAT, 3, 4)));
// Adds a warning to the song in the filling pass; the measuring pass keeps none.
void load_warn(XmLoad* load, qm_warning_kind kind, const char* format, ...)
    __attribute__((format(QM_LOAD_FORMAT, 3, 4)));
// Writes the summary entry of a song that found more warnings than it keeps.
void finish_warnings(Module* module);
// False once the load is refused or the reader failed.
bool load_ok(const XmLoad* load);

// True the first time the file's end is met in a section (patterns or
// instruments): one warning says where each section ends.
inline bool first_end(bool* warned) {
  bool first = !*warned;
  *warned = true;
  return first;
}

// A number with thousands separators, "4,096".
struct CountText {
  char text[32];
};
CountText count_text(uint64_t value);

// Copies a fixed-size name field as printable ASCII (other bytes become
// '?'), without trailing spaces and zeros, zero-terminated.
void copy_name(char* out, const uint8_t* field, size_t field_bytes);

// Byte offsets of the sections of a song block (see song_block.cpp).
struct SongLayout {
  uint64_t patterns, instruments, slots, samples, frames, cells; // section starts
  uint64_t total;                                                // bytes of the block
};
SongLayout song_layout(const SongPlan& plan);
// Points the block's cursors at the sections of a zero-filled block of
// layout.total bytes; returns its Module with patterns and instruments set.
Module* song_block_start(XmLoad* load, uint8_t* base, const SongLayout& layout);

// Room for the rows x channels cells of pattern (0-based) while filling;
// while measuring the rows go into the plan and the result is null (cells
// are decoded but not kept). Null while filling when the plan disagrees.
Cell* take_cells(XmLoad* load, int32_t pattern, int32_t rows);
// Room for the count sample slots of instrument (0-based) while filling;
// null for no slots, while measuring, or when the plan disagrees (the load
// has failed).
const Sample** take_slots(XmLoad* load, int32_t instrument, int32_t count);
// Room for the record of the song's sample number (0-based) of instrument
// slot: the block's next one while filling, the scratch record while
// measuring. Null when the plan disagrees (the load has failed).
Sample* take_sample(XmLoad* load, int32_t number, int32_t instrument, int32_t slot);
// Room for the frames (lead, frames, spare) of the song's sample number in
// the filling pass, pointing at frame 0; null when the plan disagrees (the
// load has failed). The measuring pass records the frames in the plan itself.
int16_t* take_frames(XmLoad* load, int32_t number, int32_t instrument, int32_t slot, uint32_t frames);

}  // namespace qm
