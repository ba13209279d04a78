// file_callbacks.h: the table of five file operations the show's music code
// reads files through, the small file-handle layer over it, and the load of
// a song through a handle.
// Owns: nothing; a table is a value its owner keeps (the show keeps its one
// table in its ShowOutput). Handles are the caller's from open to close.
// Thread: a table is set before any load and read by the loading thread.
//
// Errors: handle_open returns null when the table's open fails;
// load_through_table reports as the engine's loaders do (status + detail).
#pragma once
#include <cstdint>

#include "quillmere/music.h"

namespace qm {

using FileOpenFn = void* (*)(const char* path);
using FileCloseFn = int (*)(void* stream);
using FileReadFn = int32_t (*)(void* destination, int32_t length, void* stream);
using FileSeekFn = int (*)(void* stream, int32_t offset, int32_t whence);
using FileTellFn = int32_t (*)(void* stream);

// Five slots, all set or all null.
struct FileCallbacks {
  FileOpenFn open;   // null stream on failure
  FileCloseFn close; // result ignored
  FileReadFn read;   // bytes delivered, may be short
  FileSeekFn seek;   // whence 0 from start, 1 from current position
  FileTellFn tell;   // position in bytes from the start
};

// One opened file of the music code.
struct FileHandle {
  uint8_t kind;       // as given to handle_open; nothing reads it
  void* stream;       // the table's open result
  int32_t user_value; // as given to handle_open; nothing reads it
};

// Stores all five in table, or empties it when any one is null.
void file_callbacks_set(FileCallbacks& table, FileOpenFn open, FileCloseFn close, FileReadFn read,
                        FileSeekFn seek, FileTellFn tell);
// True when all five slots are set.
bool file_callbacks_complete(const FileCallbacks& table);

// The handle layer over table; a null handle does nothing and returns 0.
// Without a complete table handle_open calls no slot and returns null.
FileHandle* table_handle_open(const FileCallbacks& table, const char* path, uint8_t kind, int32_t user_value);
void table_handle_close(const FileCallbacks& table, FileHandle* handle);
int32_t table_handle_read(const FileCallbacks& table, void* destination, int32_t length, FileHandle* handle);
int table_handle_seek(const FileCallbacks& table, FileHandle* handle, int32_t offset, int32_t whence);
int32_t table_handle_tell(const FileCallbacks& table, FileHandle* handle);

// Loads the XM file at path through table with the engine's strict loader
// (the layout of version 1.04, at most 16 unpacked samples an instrument). Null,
// with the status and reason in *error (may be null), when the file does not
// open or is refused; QM_ERROR_CANNOT_OPEN carries the system's reason.
qm_song* load_through_table(const FileCallbacks& table, const char* path, qm_load_error* error);

}  // namespace qm
