// file_callbacks.cpp: the table of five file operations, the file-handle
// layer over it, and the load of a song through a handle (see
// file_callbacks.h).
// Owns: the FileHandle records it hands out. Thread: the loading thread.
#include "runtime/file_callbacks.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qm {

void file_callbacks_set(FileCallbacks& table, FileOpenFn open, FileCloseFn close, FileReadFn read,
                        FileSeekFn seek, FileTellFn tell) {
  if (open == nullptr || close == nullptr || read == nullptr || seek == nullptr || tell == nullptr) {
    table = FileCallbacks{nullptr, nullptr, nullptr, nullptr, nullptr};
    return;
  }
  table = FileCallbacks{open, close, read, seek, tell};
}

bool file_callbacks_complete(const FileCallbacks& table) {
  return table.open != nullptr && table.close != nullptr && table.read != nullptr && table.seek != nullptr &&
         table.tell != nullptr;
}

FileHandle* table_handle_open(const FileCallbacks& table, const char* path, uint8_t kind, int32_t user_value) {
  if (!file_callbacks_complete(table) || path == nullptr) return nullptr;
  auto* handle = static_cast<FileHandle*>(std::calloc(1, sizeof(FileHandle)));
  if (handle == nullptr) return nullptr;
  handle->kind = kind;
  handle->user_value = user_value;
  handle->stream = table.open(path);
  if (handle->stream == nullptr) {
    std::free(handle);
    return nullptr;
  }
  return handle;
}

// A handle only exists while the table is complete, so its slots are set;
// the checks keep a table emptied in between from being called.
void table_handle_close(const FileCallbacks& table, FileHandle* handle) {
  if (handle == nullptr) return;
  if (table.close != nullptr) table.close(handle->stream);
  std::free(handle);
}

int32_t table_handle_read(const FileCallbacks& table, void* destination, int32_t length, FileHandle* handle) {
  if (handle == nullptr || table.read == nullptr) return 0;
  return table.read(destination, length, handle->stream);
}

int table_handle_seek(const FileCallbacks& table, FileHandle* handle, int32_t offset, int32_t whence) {
  if (handle == nullptr || table.seek == nullptr) return 0;
  return table.seek(handle->stream, offset, whence);
}

int32_t table_handle_tell(const FileCallbacks& table, FileHandle* handle) {
  if (handle == nullptr || table.tell == nullptr) return 0;
  return table.tell(handle->stream);
}

namespace {

// A handle as the engine's byte source: the table and the handle.
struct HandleSource {
  const FileCallbacks* table;
  FileHandle* handle;
};

int64_t handle_io_read(void* user, void* buffer, int64_t size) {
  const auto* s = static_cast<HandleSource*>(user);
  const auto ask = static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
  const int32_t got = table_handle_read(*s->table, buffer, ask, s->handle);
  return got < 0 ? -1 : got;
}

int handle_io_seek(void* user, int64_t offset, int whence) {
  const auto* s = static_cast<HandleSource*>(user);
  if (offset < INT32_MIN || offset > INT32_MAX) return -1;
  return table_handle_seek(*s->table, s->handle, static_cast<int32_t>(offset), whence) == 0 ? 0 : -1;
}

int64_t handle_io_tell(void* user) {
  const auto* s = static_cast<HandleSource*>(user);
  return table_handle_tell(*s->table, s->handle);
}

const qm_io handle_io = {handle_io_read, handle_io_seek, handle_io_tell};

}  // namespace

qm_song* load_through_table(const FileCallbacks& table, const char* path, qm_load_error* error) {
  errno = 0;
  FileHandle* handle = table_handle_open(table, path, 0, 0);
  if (handle == nullptr) {
    if (error != nullptr) {
      error->status = QM_ERROR_CANNOT_OPEN;
      std::snprintf(error->detail, sizeof error->detail, "%s", errno != 0 ? std::strerror(errno) : "");
    }
    return nullptr;
  }
  HandleSource source{&table, handle};
  // The show plays only its own module, in the layout the original tracker
  // wrote: the older layouts, packed samples and large instruments that the
  // library otherwise takes are refused here.
  qm_load_options options;
  qm_load_options_init(&options);
  options.flags = QM_LOAD_STRICT;
  qm_song* song = nullptr;
  qm_song_load_io_with(&handle_io, &source, &options, &song, error);
  table_handle_close(table, handle);
  return song;
}

}  // namespace qm
