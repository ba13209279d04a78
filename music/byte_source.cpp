// byte_source.cpp: the bounded reader over any qm_io source, and the memory
// and stdio sources. See byte_source.h for how to call them.
// Owns: nothing beyond the reader's fixed buffer.
// Thread: the loading thread.
#include "music/byte_source.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

namespace qm {

namespace {

constexpr int SEEK_FROM_START = 0;
constexpr int SEEK_FROM_CURRENT = 1;
constexpr int SEEK_FROM_END = 2;
constexpr uint64_t FNV_OFFSET = 0xCBF29CE484222325ull;
constexpr uint64_t FNV_PRIME = 0x100000001B3ull;

// Marks the reader failed with the first reason; later reads deliver nothing.
void reader_fail(ByteReader* r, const char* what) {
  if (!r->failed) std::snprintf(r->failure, sizeof r->failure, "%s", what);
  r->failed = true;
  r->size = 0;
  r->buffer_fill = 0;
}

bool source_seek(ByteReader* r, int64_t offset) {
  if (r->stream_pos == offset) return true;
  if (r->io->seek(r->user, offset, SEEK_FROM_START) != 0) {
    reader_fail(r, "the source cannot seek");
    return false;
  }
  r->stream_pos = offset;
  return true;
}

// Reads exactly count bytes at offset, which all lie below the size learned
// at open: a source that ends sooner has changed since.
bool source_read(ByteReader* r, int64_t offset, uint8_t* destination, int64_t count) {
  if (!source_seek(r, offset)) return false;
  int64_t done = 0;
  while (done < count) {
    int64_t got = r->io->read(r->user, destination + done, count - done);
    if (got < 0 || got > count - done) {
      reader_fail(r, "the source's read failed");
      return false;
    }
    if (got == 0) {
      reader_fail(r, "the source ended before the size it had when opened");
      return false;
    }
    done += got;
    r->stream_pos += got;
  }
  return true;
}

// 1 when the source delivers a byte at offset, 0 when it ends before, -1 on an error.
int probe_byte(ByteReader* r, int64_t offset) {
  if (r->io->seek(r->user, offset, SEEK_FROM_START) != 0) return -1;
  uint8_t byte = 0;
  int64_t got = r->io->read(r->user, &byte, 1);
  r->stream_pos = -1;
  return got < 0 || got > 1 ? -1 : static_cast<int>(got);
}

void hash_bytes(ByteReader* r, const uint8_t* bytes, size_t count) {
  uint64_t h = r->digest;
  for (size_t i = 0; i < count; ++i) h = (h ^ bytes[i]) * FNV_PRIME;
  r->digest = h;
}

// Fills out with the bytes at pos .. end (end <= size) through the buffer,
// or directly for reads of a buffer or more. Returns the bytes delivered.
size_t read_present(ByteReader* r, uint8_t* out, int64_t end) {
  size_t delivered = 0;
  while (r->pos < end && !r->failed) {
    int64_t buffer_end = r->buffer_start + r->buffer_fill;
    if (r->pos >= r->buffer_start && r->pos < buffer_end) {
      int64_t n = std::min(end, buffer_end) - r->pos;
      std::memcpy(out + delivered, r->buffer + (r->pos - r->buffer_start), static_cast<size_t>(n));
      r->pos += n;
      delivered += static_cast<size_t>(n);
    } else if (end - r->pos >= READ_BUFFER_BYTES) {
      int64_t n = end - r->pos;
      if (!source_read(r, r->pos, out + delivered, n)) break;
      r->pos += n;
      delivered += static_cast<size_t>(n);
    } else {
      int64_t n = std::min<int64_t>(READ_BUFFER_BYTES, r->size - r->pos);
      if (!source_read(r, r->pos, r->buffer, n)) break;
      r->buffer_start = r->pos;
      r->buffer_fill = static_cast<int32_t>(n);
    }
  }
  return r->failed ? 0 : delivered;
}

} // namespace

bool reader_open(ByteReader* r, const qm_io* io, void* user) {
  std::memset(r, 0, sizeof *r);
  r->io = io;
  r->user = user;
  r->stream_pos = -1;
  r->hashing = true;
  r->digest = FNV_OFFSET;
  if (io->seek(user, 0, SEEK_FROM_END) != 0) {
    reader_fail(r, "the source cannot seek to its end");
    return false;
  }
  int64_t claimed = io->tell(user);
  if (claimed < 0) {
    reader_fail(r, "the source cannot tell its size");
    return false;
  }
  // Binary search between the last offset known to hold a byte (lo) and the
  // first known not to (hi); an honest source answers the first probe.
  int64_t lo = -1, hi = claimed;
  int last = 0;
  if (claimed > 0) {
    last = probe_byte(r, claimed - 1);
    if (last == 1) lo = claimed - 1;
    if (last == 0) hi = claimed - 1;
  }
  while (last >= 0 && hi - lo > 1) {
    int64_t mid = lo + (hi - lo) / 2;
    last = probe_byte(r, mid);
    if (last == 1) lo = mid;
    if (last == 0) hi = mid;
  }
  if (last < 0) {
    reader_fail(r, "the source's read failed");
    return false;
  }
  r->size = lo + 1;
  return true;
}

void reader_rewind(ByteReader* r) {
  r->pos = 0;
  r->buffer_start = 0;
  r->buffer_fill = 0;
  r->digest = FNV_OFFSET;
}

int64_t reader_remaining(const ByteReader* r) { return r->pos < r->size ? r->size - r->pos : 0; }

void reader_seek(ByteReader* r, int64_t offset) { r->pos = offset < 0 ? 0 : offset; }

size_t reader_read(ByteReader* r, void* destination, size_t count) {
  auto* out = static_cast<uint8_t*>(destination);
  std::memset(out, 0, count);
  int64_t end = r->pos + static_cast<int64_t>(count);
  size_t delivered = r->pos < r->size ? read_present(r, out, std::min(end, r->size)) : 0;
  if (r->failed) std::memset(out, 0, count);
  if (r->hashing) hash_bytes(r, out, count);
  r->pos = end;
  return delivered;
}

// ---- memory source ----

namespace {

int64_t memory_read(void* user, void* buffer, int64_t size) {
  auto* m = static_cast<MemorySource*>(user);
  if (size < 0) return -1;
  if (m->pos >= m->size) return 0;
  int64_t n = std::min(size, m->size - m->pos);
  std::memcpy(buffer, m->data + m->pos, static_cast<size_t>(n));
  m->pos += n;
  return n;
}

int memory_seek(void* user, int64_t offset, int whence) {
  auto* m = static_cast<MemorySource*>(user);
  int64_t base = whence == SEEK_FROM_START ? 0 : whence == SEEK_FROM_CURRENT ? m->pos : m->size;
  if (whence < SEEK_FROM_START || whence > SEEK_FROM_END || offset < -base || offset > INT64_MAX - base)
    return -1;
  m->pos = base + offset;
  return 0;
}

int64_t memory_tell(void* user) { return static_cast<MemorySource*>(user)->pos; }

// ---- stdio source ----

int64_t stdio_read(void* user, void* buffer, int64_t size) {
  auto* f = static_cast<FILE*>(user);
  if (size < 0) return -1;
  size_t got = std::fread(buffer, 1, static_cast<size_t>(size), f);
  if (got == 0 && std::ferror(f)) return -1;
  return static_cast<int64_t>(got);
}

int stdio_seek(void* user, int64_t offset, int whence) {
  int origin = whence == SEEK_FROM_START ? SEEK_SET : whence == SEEK_FROM_CURRENT ? SEEK_CUR : SEEK_END;
  if (whence < SEEK_FROM_START || whence > SEEK_FROM_END) return -1;
  return fseeko(static_cast<FILE*>(user), static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
}

int64_t stdio_tell(void* user) { return static_cast<int64_t>(ftello(static_cast<FILE*>(user))); }

} // namespace

qm_io memory_source_io() { return {memory_read, memory_seek, memory_tell}; }
qm_io stdio_source_io() { return {stdio_read, stdio_seek, stdio_tell}; }

}  // namespace qm
