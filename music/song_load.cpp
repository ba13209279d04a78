// song_load.cpp: the entry points of loading: a song from callbacks, a path
// or memory through two passes into one block (see song_block.h).
// Owns: the bookkeeping of a load while it runs, and the song block until it
// is handed over.
// Thread: the loading thread; loads share no state.
//
// Refusals, each with its status and one sentence:
// - invalid argument: a null pointer, or a source without read, seek or tell;
// - cannot open: the path does not open for reading (strerror's reason);
// - read error: the source's seek, tell or read fails, or it delivers fewer
//   bytes, or other bytes outside the sample data, on the second pass than on
//   the first (sample data is read only by the second pass);
// - out of memory: the song block would exceed SONG_MEMORY_LIMIT (1 GiB, the
//   size it needs is named), or an allocation fails;
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

namespace qm {

namespace {

void* default_allocate(void*, size_t bytes) { return std::calloc(1, bytes); }

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
  uint64_t limit = options.memory_limit != 0 ? options.memory_limit : SONG_MEMORY_LIMIT;
  limit = std::min<uint64_t>(limit, SIZE_MAX);
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
  SongLoadOptions o = options != nullptr ? *options : SongLoadOptions{};
  if (o.allocate == nullptr) o = SongLoadOptions{default_allocate, nullptr, o.memory_limit};
  auto* load = static_cast<XmLoad*>(o.allocate(o.context, sizeof(XmLoad)));
  if (load == nullptr) return report(error, QM_ERROR_OUT_OF_MEMORY, "cannot allocate the loader's bookkeeping");
  load->status = QM_OK;
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

qm_status load_song_file(const char* path, Module** out, qm_load_error* error) {
  if (out != nullptr) *out = nullptr;
  if (path == nullptr) return report(error, QM_ERROR_INVALID_ARGUMENT, "the path is null");
  if (out == nullptr) return report(error, QM_ERROR_INVALID_ARGUMENT, "the song pointer is null");
  char detail[QM_TEXT_CAPACITY];
  FILE* file = std::fopen(path, "rb");
  struct stat info {};
  int reason = file == nullptr ? errno : fstat(fileno(file), &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  if (reason != 0) {
    if (file != nullptr) std::fclose(file);
    std::snprintf(detail, sizeof detail, "%s", std::strerror(reason));
    return report(error, QM_ERROR_CANNOT_OPEN, detail);
  }
  qm_status status = load_song(&stdio_source_io, file, out, error);
  std::fclose(file);
  return status;
}

qm_status load_song_memory(const void* data, size_t size, Module** out, qm_load_error* error) {
  if (out != nullptr) *out = nullptr;
  if (data == nullptr && size > 0) return report(error, QM_ERROR_INVALID_ARGUMENT, "the data pointer is null");
  if (size > static_cast<uint64_t>(INT64_MAX)) return report(error, QM_ERROR_INVALID_ARGUMENT, "the size is too large");
  MemorySource source{static_cast<const uint8_t*>(data), static_cast<int64_t>(size), 0};
  return load_song(&memory_source_io, &source, out, error);
}

void free_song(Module* song) { std::free(song); }

}  // namespace qm
