// song_api.cpp: the C functions of quillmere/music.h about statuses, the
// version, loading songs, their warnings and what they hold.
// Owns: nothing; a qm_song* is the Module* of its song block.
// Thread: any; a loaded song is only read here.
//
// Warnings: a song keeps the text of its first SONG_WARNINGS_KEPT (16)
// repairs. When it found more, qm_song_warning_count counts one entry more,
// the last, which says how many repairs are not listed ("5 more repairs are
// not listed"; its kind is that of the first of them).
#include <cstdio>
#include <cstring>

#include "music/song_load.h"
#include "quillmere/music.h"

namespace qm {

static_assert(SONG_NAME_BYTES == QM_NAME_CAPACITY, "names are copied whole");
static_assert(SONG_WARNING_TEXT_BYTES == QM_TEXT_CAPACITY, "warning texts are handed out whole");

namespace {

#define QM_TEXT_OF(x) #x
#define QM_VERSION_TEXT(major, minor, patch) QM_TEXT_OF(major) "." QM_TEXT_OF(minor) "." QM_TEXT_OF(patch)

const Module* song_module(const qm_song* song) { return reinterpret_cast<const Module*>(song); }

qm_status finish_load(qm_status status, Module* module, qm_song** song) {
  if (song != nullptr) *song = reinterpret_cast<qm_song*>(module);
  return status;
}

// The bytes of a caller's qm_load_options that this library knows: the first
// version's three fields.
constexpr uint32_t KNOWN_OPTION_BYTES = sizeof(qm_load_options);
constexpr uint32_t KNOWN_LOAD_FLAGS = QM_LOAD_STRICT;

qm_status refuse(qm_load_error* error, qm_song** song, const char* detail) {
  if (song != nullptr) *song = nullptr;
  if (error != nullptr) {
    error->status = QM_ERROR_INVALID_ARGUMENT;
    std::snprintf(error->detail, sizeof error->detail, "%s", detail);
  }
  return QM_ERROR_INVALID_ARGUMENT;
}

// The loader's options from a caller's (null: the defaults). A caller built
// against a later header may pass a larger struct: the fields past those
// known here must hold their defaults (zeros). False, with *detail, for
// options this library cannot honour.
bool load_options(const qm_load_options* in, SongLoadOptions* out, const char** detail) {
  *out = SongLoadOptions{};
  if (in == nullptr) return true;
  if (in->size < KNOWN_OPTION_BYTES) {
    *detail = "the options' size is below that of qm_load_options (qm_load_options_init sets it)";
    return false;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  for (uint32_t i = KNOWN_OPTION_BYTES; i < in->size; ++i) {
    if (bytes[i] != 0) {
      *detail = "the options set fields this version of the library does not know";
      return false;
    }
  }
  if ((in->flags & ~KNOWN_LOAD_FLAGS) != 0) {
    *detail = "the options set load flags this version of the library does not know";
    return false;
  }
  out->strict = (in->flags & QM_LOAD_STRICT) != 0;
  out->memory_limit = in->max_bytes;
  return true;
}

// The sample record of a slot, or null outside the instrument's samples.
const Sample* song_sample(const Module* m, int32_t instrument, int32_t sample) {
  if (m == nullptr || instrument < 0 || instrument >= m->instrument_count) return nullptr;
  const Instrument& ins = m->instruments[instrument];
  if (sample < 0 || sample >= ins.sample_count) return nullptr;
  return ins.samples[sample];
}

int32_t loop_type_number(uint8_t loop_type) {
  if (loop_type == LOOP_FORWARD) return 1;
  if (loop_type == LOOP_PINGPONG) return 2;
  return 0;
}

} // namespace

}  // namespace qm

extern "C" {

const char* qm_status_text(qm_status status) {
  // A switch, not a table of pointers: the texts stay in read-only memory
  // with no relocated data beside them.
  switch (status) {
    case QM_OK: return "ok";
    case QM_ERROR_INVALID_ARGUMENT: return "invalid argument";
    case QM_ERROR_CANNOT_OPEN: return "cannot open";
    case QM_ERROR_READ: return "read error";
    case QM_ERROR_NOT_XM: return "not an XM file";
    case QM_ERROR_HEADER_INCOMPLETE: return "header incomplete";
    case QM_ERROR_UNSUPPORTED: return "unsupported";
    case QM_ERROR_OUT_OF_MEMORY: return "out of memory";
    default: return "unknown status";
  }
}

const char* qm_version(void) { return QM_VERSION_TEXT(QM_VERSION_MAJOR, QM_VERSION_MINOR, QM_VERSION_PATCH); }

qm_status qm_song_load_file(const char* path, qm_song** song) { return qm_song_load_file_ex(path, song, nullptr); }

qm_status qm_song_load_memory(const void* data, size_t size, qm_song** song) {
  return qm_song_load_memory_ex(data, size, song, nullptr);
}

qm_status qm_song_load_file_ex(const char* path, qm_song** song, qm_load_error* error) {
  return qm_song_load_file_with(path, nullptr, song, error);
}

qm_status qm_song_load_memory_ex(const void* data, size_t size, qm_song** song, qm_load_error* error) {
  return qm_song_load_memory_with(data, size, nullptr, song, error);
}

qm_status qm_song_load_io(const qm_io* io, void* user, qm_song** song, qm_load_error* error) {
  return qm_song_load_io_with(io, user, nullptr, song, error);
}

void qm_load_options_init(qm_load_options* options) {
  if (options == nullptr) return;
  std::memset(options, 0, sizeof *options);
  options->size = sizeof *options;
}

qm_status qm_song_load_file_with(const char* path, const qm_load_options* options, qm_song** song,
                                 qm_load_error* error) {
  qm::SongLoadOptions o;
  const char* detail = "";
  if (!qm::load_options(options, &o, &detail)) return qm::refuse(error, song, detail);
  qm::Module* m = nullptr;
  qm_status s = qm::load_song_file_with(path, &o, song != nullptr ? &m : nullptr, error);
  return qm::finish_load(s, m, song);
}

qm_status qm_song_load_memory_with(const void* data, size_t size, const qm_load_options* options, qm_song** song,
                                   qm_load_error* error) {
  qm::SongLoadOptions o;
  const char* detail = "";
  if (!qm::load_options(options, &o, &detail)) return qm::refuse(error, song, detail);
  qm::Module* m = nullptr;
  qm_status s = qm::load_song_memory_with(data, size, &o, song != nullptr ? &m : nullptr, error);
  return qm::finish_load(s, m, song);
}

qm_status qm_song_load_io_with(const qm_io* io, void* user, const qm_load_options* options, qm_song** song,
                               qm_load_error* error) {
  qm::SongLoadOptions o;
  const char* detail = "";
  if (!qm::load_options(options, &o, &detail)) return qm::refuse(error, song, detail);
  qm::Module* m = nullptr;
  qm_status s = qm::load_song_with(io, user, &o, song != nullptr ? &m : nullptr, error);
  return qm::finish_load(s, m, song);
}

void qm_song_free(qm_song* song) { qm::free_song(reinterpret_cast<qm::Module*>(song)); }

int32_t qm_song_warning_count(const qm_song* song) {
  const qm::Module* m = qm::song_module(song);
  if (m == nullptr) return 0;
  return m->warning_count > qm::SONG_WARNINGS_KEPT ? qm::SONG_WARNINGS_KEPT + 1 : m->warning_count;
}

qm_warning_kind qm_song_warning_kind(const qm_song* song, int32_t index) {
  if (index < 0 || index >= qm_song_warning_count(song)) return static_cast<qm_warning_kind>(0);
  return static_cast<qm_warning_kind>(qm::song_module(song)->warnings[index].kind);
}

const char* qm_song_warning_text(const qm_song* song, int32_t index) {
  if (index < 0 || index >= qm_song_warning_count(song)) return "";
  return qm::song_module(song)->warnings[index].text;
}

qm_status qm_song_get_info(const qm_song* song, qm_song_info* info) {
  if (info != nullptr) std::memset(info, 0, sizeof *info);
  const qm::Module* m = qm::song_module(song);
  if (m == nullptr || info == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  std::memcpy(info->name, m->name, sizeof info->name);
  std::memcpy(info->tracker, m->tracker_name, sizeof info->tracker);
  info->version = m->version;
  info->channels = m->channel_count;
  info->length = m->song_length;
  info->restart = m->restart_position;
  info->patterns = m->pattern_count;
  info->instruments = m->instrument_count;
  info->speed = m->default_speed;
  info->bpm = m->default_bpm;
  info->linear_periods = (m->flags & qm::MODULE_LINEAR_TABLE) != 0 ? 1 : 0;
  return QM_OK;
}

qm_status qm_song_get_instrument(const qm_song* song, int32_t instrument, qm_instrument_info* info) {
  if (info != nullptr) std::memset(info, 0, sizeof *info);
  const qm::Module* m = qm::song_module(song);
  if (m == nullptr || info == nullptr || instrument < 0 || instrument >= m->instrument_count)
    return QM_ERROR_INVALID_ARGUMENT;
  const qm::Instrument& ins = m->instruments[instrument];
  std::memcpy(info->name, ins.name, sizeof info->name);
  info->samples = ins.sample_count;
  return QM_OK;
}

qm_status qm_song_get_sample(const qm_song* song, int32_t instrument, int32_t sample, qm_sample_info* info) {
  if (info != nullptr) std::memset(info, 0, sizeof *info);
  const qm::Sample* s = qm::song_sample(qm::song_module(song), instrument, sample);
  if (s == nullptr || info == nullptr) return QM_ERROR_INVALID_ARGUMENT;
  std::memcpy(info->name, s->name, sizeof info->name);
  info->length = s->length;
  info->loop_start = s->loop_start;
  info->loop_length = s->loop_length;
  info->loop_type = qm::loop_type_number(s->loop_type);
  info->volume = s->volume;
  info->finetune = s->finetune;
  info->panning = s->panning;
  info->relative_note = s->relative_note;
  return QM_OK;
}

int32_t qm_song_order(const qm_song* song, int32_t position) {
  const qm::Module* m = qm::song_module(song);
  if (m == nullptr || position < 0 || position >= m->song_length) return -1;
  return m->order_table[position];
}

int32_t qm_song_pattern_rows(const qm_song* song, int32_t pattern) {
  const qm::Module* m = qm::song_module(song);
  if (m == nullptr || pattern < 0 || pattern >= m->pattern_count) return -1;
  return m->patterns[pattern].row_count;
}

qm_status qm_song_get_row(const qm_song* song, int32_t pattern, int32_t row, qm_cell* cells, int32_t count) {
  const qm::Module* m = qm::song_module(song);
  if (m == nullptr || cells == nullptr || count < 0 || pattern < 0 || pattern >= m->pattern_count || row < 0 ||
      row >= m->patterns[pattern].row_count)
    return QM_ERROR_INVALID_ARGUMENT;
  const qm::Cell* from = m->patterns[pattern].cells + static_cast<size_t>(row) * m->channel_count;
  for (int32_t i = 0; i < count; ++i) {
    qm::Cell c = i < m->channel_count ? from[i] : qm::Cell{};
    cells[i] = qm_cell{c.note == qm::NOTE_KEY_OFF ? qm::FILE_KEY_OFF_NOTE : c.note, c.instrument, c.volume, c.effect,
                       c.param};
  }
  return QM_OK;
}

} // extern "C"
