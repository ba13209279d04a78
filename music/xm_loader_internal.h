// xm_loader_internal.h: what the two halves of the XM loader share: the
// bounded reader over a FileHandle and the sample stage of an instrument.
// Owns: nothing. Thread: the loading thread.
#pragma once
#include <cstddef>
#include <cstdint>

#include "music/file_callbacks.h"
#include "music/module.h"

constexpr int32_t XM_READ_BUFFER_BYTES = 4096;

// Reads a file of known size through the file callbacks. Bytes the file does
// not deliver (past its end, or after a short read) read as 0 and are never
// left over from earlier reads; the position still advances, so the layout
// of what follows stays defined.
struct XmReader {
  FileHandle* handle;
  int64_t size;          // bytes the file holds; lowered when a read comes up short
  int64_t pos;           // logical read position, may lie past size
  int64_t stream_pos;    // where the stream itself stands
  int64_t buffer_start;  // file offset of buffer[0]
  int32_t buffer_fill;   // valid bytes in buffer
  uint8_t buffer[XM_READ_BUFFER_BYTES];
};

// Learns the file's size (seek to the end, tell) and rewinds. False when the
// size cannot be learned.
bool reader_open(XmReader* reader, FileHandle* handle);
// Fills destination with count bytes from the position; missing bytes are 0.
// Returns the bytes the file delivered.
size_t reader_read(XmReader* reader, void* destination, size_t count);
// Moves the position to offset bytes from the start (past the end is allowed).
void reader_seek(XmReader* reader, int64_t offset);
// Bytes between the position and the end of the file, 0 past the end.
int64_t reader_remaining(const XmReader* reader);

inline uint16_t read_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t read_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads the instrument's sample_count sample headers and then their data
// blocks from the reader's position; fills the 16 sample slots (those from
// sample_count on with &empty_sample). False only when memory runs out.
bool load_instrument_samples(XmReader* reader, Instrument* instrument);
// Releases a sample created by load_instrument_samples (not empty_sample).
void free_sample(const Sample* sample);
