// song_load.cpp: the entry points of loading: a song from callbacks, a path
// or memory through two passes into one block (see song_block.h). A path
// that names a pipe or a socket is read whole into memory first (it cannot
// seek).
// Owns: the bookkeeping of a load while it runs, and the song block until it
// is handed over.
// Thread: the loading thread; loads share no state.
//
// Refusals, each with its status and one sentence:
// - invalid argument: a null pointer, or a source without read, seek or tell;
// - cannot open: the path does not open for reading (strerror's reason), or
//   names a directory or a device ("it is a character device, not a file");
// - read error: the source's seek, tell or read fails, or it delivers fewer
//   bytes, or other bytes outside the sample data, on the second pass than on
//   the first (sample data is read only by the second pass);
// - out of memory: the song block would exceed SONG_MEMORY_LIMIT (1 GiB, the
//   size it needs is named), a pipe delivers more than that limit, or an
//   allocation fails;
// - not an XM file, header incomplete, unsupported: see xm_walk.cpp.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "music/song_block.h"
#include "music/song_load.h"
#include "music/xm_walk.h"

#ifndef S_ISSOCK
// Windows' C runtime has no sockets among the things a path names.
#define S_ISSOCK(mode) 0
#endif

namespace qm {

namespace {

void* default_allocate(void*, size_t bytes) { return std::calloc(1, bytes); }

SongLoadOptions with_defaults(const SongLoadOptions* options) {
  SongLoadOptions o = options != nullptr ? *options : SongLoadOptions{};
  if (o.allocate == nullptr) {
    o.allocate = default_allocate;
    o.context = nullptr;
  }
  return o;
}

uint64_t memory_limit(const SongLoadOptions& o) {
  return std::min<uint64_t>(o.memory_limit != 0 ? o.memory_limit : SONG_MEMORY_LIMIT, SIZE_MAX);
}

// Fills *error and returns its status.
qm_status report(qm_load_error* error, qm_status status, const char* detail) {
  if (error != nullptr) {
    error->status = status;
    std::snprintf(error->detail, sizeof error->detail, "%s", detail);
  }
  return status;
}

// Starts a pass: the reader at offset 0, the section warnings unsaid.
void begin_pass(XmLoad* load, LoadPass pass, Module* module) {
  load->pass = pass;
  load->module = module;
  load->pattern_end_warned = false;
  load->instrument_end_warned = false;
  reader_rewind(&load->reader);
}

// True when the filling pass used exactly the block's room and read the
// same bytes as the measuring pass.
bool filled_as_planned(const XmLoad* load) {
  const SongBlock& b = load->block;
  return b.next_sample == b.samples_end && b.next_frames == b.frames_end && b.next_cell == b.cells_end &&
         load->reader.digest == load->plan.digest;
}

// Measures, allocates the block, fills it. The result is the block or null
// with load->status set.
Module* measure_and_fill(XmLoad* load, const SongLoadOptions& options) {
  begin_pass(load, LoadPass::MEASURE, &load->scratch);
  if (!walk_song(load)) return nullptr;
  load->plan.digest = load->reader.digest;
  SongLayout layout = song_layout(load->plan);
  const uint64_t limit = memory_limit(options);
  if (layout.total > limit) {
    load_fail(load, QM_ERROR_OUT_OF_MEMORY, "the song needs %s bytes; the limit is %s",
              count_text(layout.total).text, count_text(limit).text);
    return nullptr;
  }
  auto* base = static_cast<uint8_t*>(options.allocate(options.context, static_cast<size_t>(layout.total)));
  if (base == nullptr) {
    load_fail(load, QM_ERROR_OUT_OF_MEMORY, "cannot allocate %s bytes for the song", count_text(layout.total).text);
    return nullptr;
  }
  begin_pass(load, LoadPass::FILL, song_block_start(load, base, layout));
  if (walk_song(load) && !filled_as_planned(load))
    load_fail(load, QM_ERROR_READ, "the file changed while it was read");
  if (!load_ok(load)) {
    std::free(base);
    return nullptr;
  }
  finish_warnings(load->module);
  return load->module;
}

} // namespace

size_t song_load_bookkeeping_bytes() { return sizeof(XmLoad); }

qm_status load_song_with(const qm_io* io, void* user, const SongLoadOptions* options, Module** out,
                         qm_load_error* error) {
  if (out != nullptr) *out = nullptr;
  if (out == nullptr) return report(error, QM_ERROR_INVALID_ARGUMENT, "the song pointer is null");
  if (io == nullptr || io->read == nullptr || io->seek == nullptr || io->tell == nullptr)
    return report(error, QM_ERROR_INVALID_ARGUMENT, "the source lacks its read, seek or tell function");
  const SongLoadOptions o = with_defaults(options);
  auto* load = static_cast<XmLoad*>(o.allocate(o.context, sizeof(XmLoad)));
  if (load == nullptr) return report(error, QM_ERROR_OUT_OF_MEMORY, "cannot allocate the loader's bookkeeping");
  load->status = QM_OK;
  load->strict = o.strict;
  Module* song = reader_open(&load->reader, io, user) ? measure_and_fill(load, o) : nullptr;
  // A failed source explains whatever else went wrong after it.
  qm_status status = load->reader.failed ? QM_ERROR_READ : load->status;
  const char* detail = load->reader.failed ? load->reader.failure : load->detail;
  qm_status result = report(error, song != nullptr ? QM_OK : status, song != nullptr ? "" : detail);
  std::free(load);
  *out = song;
  return result;
}

qm_status load_song(const qm_io* io, void* user, Module** out, qm_load_error* error) {
  return load_song_with(io, user, nullptr, out, error);
}

qm_status load_song_memory_with(const void* data, size_t size, const SongLoadOptions* options, Module** out,
                                qm_load_error* error) {
  if (out != nullptr) *out = nullptr;
  if (data == nullptr && size > 0) return report(error, QM_ERROR_INVALID_ARGUMENT, "the data pointer is null");
  if (size > static_cast<uint64_t>(INT64_MAX)) return report(error, QM_ERROR_INVALID_ARGUMENT, "the size is too large");
  MemorySource source{static_cast<const uint8_t*>(data), static_cast<int64_t>(size), 0};
  const qm_io io = memory_source_io();
  return load_song_with(&io, &source, options, out, error);
}

qm_status load_song_memory(const void* data, size_t size, Module** out, qm_load_error* error) {
  return load_song_memory_with(data, size, nullptr, out, error);
}

namespace {

constexpr size_t FIRST_STREAM_BUFFER_BYTES = 64 * 1024;

// Reads what a pipe or socket delivers until its end into *bytes (allocated
// through the options, at most the song memory limit; freed by the caller,
// also on failure).
qm_status read_stream(FILE* file, const SongLoadOptions& o, uint8_t** bytes, size_t* size, qm_load_error* error) {
  const uint64_t limit = memory_limit(o);
  size_t capacity = 0;
  for (;;) {
    if (*size == capacity) {
      if (capacity >= limit) {  // full: the stream must end here
        uint8_t more = 0;
        if (std::fread(&more, 1, 1, file) == 0 && !std::ferror(file)) return QM_OK;
        return report(error, QM_ERROR_OUT_OF_MEMORY, "the stream holds more bytes than the memory limit");
      }
      uint64_t wanted = capacity == 0 ? FIRST_STREAM_BUFFER_BYTES : 2 * uint64_t{capacity};
      auto grown = static_cast<size_t>(std::min(limit, wanted));
      auto* bigger = static_cast<uint8_t*>(o.allocate(o.context, grown));
      if (bigger == nullptr) return report(error, QM_ERROR_OUT_OF_MEMORY, "cannot allocate the stream's bytes");
      if (*size > 0) std::memcpy(bigger, *bytes, *size);
      std::free(*bytes);
      *bytes = bigger;
      capacity = grown;
    }
    size_t got = std::fread(*bytes + *size, 1, capacity - *size, file);
    *size += got;
    if (got == 0) return std::ferror(file) ? report(error, QM_ERROR_READ, "the source's read failed") : QM_OK;
  }
}

// Loads a pipe or socket (which cannot seek) from its bytes in memory.
qm_status load_stream(FILE* file, const SongLoadOptions* options, Module** out, qm_load_error* error) {
  const SongLoadOptions o = with_defaults(options);
  uint8_t* bytes = nullptr;
  size_t size = 0;
  qm_status status = read_stream(file, o, &bytes, &size, error);
  if (status == QM_OK) status = load_song_memory_with(bytes, size, &o, out, error);
  std::free(bytes);
  return status;
}

// What a path that is no regular file names, for a refusal; null for a
// regular file or a stream (pipe, socket) that load_stream reads.
const char* not_a_file(mode_t mode) {
  if (S_ISDIR(mode)) return std::strerror(EISDIR);
  if (S_ISCHR(mode)) return "it is a character device, not a file";
  if (S_ISBLK(mode)) return "it is a block device, not a file";
  return nullptr;
}

} // namespace

qm_status load_song_file_with(const char* path, const SongLoadOptions* options, Module** out, qm_load_error* error) {
  if (out != nullptr) *out = nullptr;
  if (path == nullptr) return report(error, QM_ERROR_INVALID_ARGUMENT, "the path is null");
  if (out == nullptr) return report(error, QM_ERROR_INVALID_ARGUMENT, "the song pointer is null");
  FILE* file = std::fopen(path, "rb");
  struct stat info {};
  const char* refusal = file == nullptr                    ? std::strerror(errno)
                        : fstat(fileno(file), &info) != 0  ? std::strerror(errno)
                                                           : not_a_file(info.st_mode);
  if (refusal != nullptr) {
    char detail[QM_TEXT_CAPACITY];
    std::snprintf(detail, sizeof detail, "%s", refusal);
    if (file != nullptr) std::fclose(file);
    return report(error, QM_ERROR_CANNOT_OPEN, detail);
  }
  const qm_io io = stdio_source_io();
  qm_status status = S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)
                         ? load_stream(file, options, out, error)
                         : load_song_with(&io, file, options, out, error);
  std::fclose(file);
  return status;
}

qm_status load_song_file(const char* path, Module** out, qm_load_error* error) {
  return load_song_file_with(path, nullptr, out, error);
}

void free_song(Module* song) { std::free(song); }

}  // namespace qm
