// file_callbacks.cpp: installing the table of five file operations the show
// loads its module through, and the file-handle layer over it.
// Owns: the FileHandle records it hands out. Touches: the table in the show's
// real-time layer (all five slots set, or all null).
// Thread: the table is set on the main thread before any load; handles are
// used on the thread that loads a module.
#include "music/file_callbacks.h"

#include <cstdlib>

namespace qm {

void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read, FileSeekFn seek,
                        FileTellFn tell) {
  if (open == nullptr || close == nullptr || read == nullptr || seek == nullptr || tell == nullptr) {
    file_callback_table() = FileCallbacks{nullptr, nullptr, nullptr, nullptr, nullptr};
    return;
  }
  file_callback_table() = FileCallbacks{open, close, read, seek, tell};
}

bool file_callbacks_complete() {
  const FileCallbacks& file_callbacks = file_callback_table();
  return file_callbacks.open != nullptr && file_callbacks.close != nullptr &&
         file_callbacks.read != nullptr && file_callbacks.seek != nullptr &&
         file_callbacks.tell != nullptr;
}

// Without an installed table nothing can be opened: null, and no slot is called.
FileHandle* handle_open(const char* path, uint8_t kind, int32_t user_value) {
  const FileCallbacks& file_callbacks = file_callback_table();
  if (!file_callbacks_complete() || path == nullptr) return nullptr;
  auto* handle = static_cast<FileHandle*>(std::calloc(1, sizeof(FileHandle)));
  if (handle == nullptr) return nullptr;
  handle->kind = kind;
  handle->user_value = user_value;
  handle->stream = file_callbacks.open(path);
  if (handle->stream == nullptr) {
    std::free(handle);
    return nullptr;
  }
  return handle;
}

// A handle only exists while the table is complete, so its slots are set;
// the checks keep a table emptied in between from being called.
void handle_close(FileHandle* handle) {
  const FileCallbacks& file_callbacks = file_callback_table();
  if (handle == nullptr) return;
  if (file_callbacks.close != nullptr) file_callbacks.close(handle->stream);
  std::free(handle);
}

int32_t handle_read(void* destination, int32_t length, FileHandle* handle) {
  const FileCallbacks& file_callbacks = file_callback_table();
  if (handle == nullptr || file_callbacks.read == nullptr) return 0;
  return file_callbacks.read(destination, length, handle->stream);
}

int handle_seek(FileHandle* handle, int32_t offset, int32_t whence) {
  const FileCallbacks& file_callbacks = file_callback_table();
  if (handle == nullptr || file_callbacks.seek == nullptr) return 0;
  return file_callbacks.seek(handle->stream, offset, whence);
}

int32_t handle_tell(FileHandle* handle) {
  const FileCallbacks& file_callbacks = file_callback_table();
  if (handle == nullptr || file_callbacks.tell == nullptr) return 0;
  return file_callbacks.tell(handle->stream);
}

}  // namespace qm
