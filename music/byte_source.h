// byte_source.h: the byte sources a song loads from and the bounded reader
// the XM loader reads them through.
// Owns: nothing; a ByteReader borrows its qm_io and user pointer.
// Thread: the loading thread.
//
// Call: reader_open once (learns the source's size), then reader_read and
// reader_seek in any order; reader_rewind starts a second pass over the same
// source. A source that fails, or delivers fewer bytes than it held when it
// was opened, marks the reader failed: from then on it reads only zeros and
// reports nothing remaining, so every loop over it ends at once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "quillmere/music.h"

namespace qm {

constexpr int32_t READ_BUFFER_BYTES = 4096;
constexpr size_t READ_FAILURE_BYTES = 96;

struct ByteReader {
  const qm_io* io;       // the source's functions
  void* user;            // handed to each of them
  int64_t size;          // bytes the source holds; 0 once failed
  int64_t pos;           // logical read position, may lie past size
  int64_t stream_pos;    // where the source stands, -1 when unknown
  int64_t buffer_start;  // source offset of buffer[0]
  int32_t buffer_fill;   // valid bytes in buffer, 0..READ_BUFFER_BYTES
  bool hashing;          // reads feed digest (off for sample data)
  uint64_t digest;       // FNV-1a of every hashed byte read since open or rewind
  bool failed;           // the source failed or changed; see failure
  char failure[READ_FAILURE_BYTES]; // what failed, one clause
  uint8_t buffer[READ_BUFFER_BYTES];
};

// Learns the size: seeks to the end and tells, then finds the last byte the
// source really delivers (a source may claim more than it holds). False, with
// the reader failed, when the source cannot seek, tell or read.
bool reader_open(ByteReader* reader, const qm_io* io, void* user);
// Back to offset 0 for another pass: the buffer is dropped, so every byte is
// asked of the source again, and the digest starts over.
void reader_rewind(ByteReader* reader);
// Fills destination with count bytes from the position; bytes past the end
// are 0. Returns the bytes the source delivered.
size_t reader_read(ByteReader* reader, void* destination, size_t count);
// Moves the position to offset bytes from the start (past the end is allowed).
void reader_seek(ByteReader* reader, int64_t offset);
// Bytes between the position and the end, 0 past the end or once failed.
int64_t reader_remaining(const ByteReader* reader);

inline uint16_t read_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t read_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Bytes in memory, read in place. user: a MemorySource.
struct MemorySource {
  const uint8_t* data; // borrowed, size bytes
  int64_t size;
  int64_t pos;         // may lie past size; reads there deliver 0 bytes
};
// (Tables are made on each call, so the library keeps no table of function
// pointers in its data.)
qm_io memory_source_io();

// A file opened with stdio. user: the FILE*. Read errors give -1.
qm_io stdio_source_io();

}  // namespace qm
