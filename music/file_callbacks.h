// file_callbacks.h: the table of five file operations the music code reads
// files through, and the small file-handle layer over it.
// Owns: nothing; the table (all five slots set, or all null) is part of the
// show's real-time layer (realtime.cpp), which opens no output without it.
// Thread: the table is set on the main thread before any load or output;
// loads run on the thread that calls load_module.
#pragma once
#include <cstdint>

namespace qm {

using FileOpenFn = void* (*)(const char* path);
using FileCloseFn = int (*)(void* stream);
using FileReadFn = int32_t (*)(void* destination, int32_t length, void* stream);
using FileSeekFn = int (*)(void* stream, int32_t offset, int32_t whence);
using FileTellFn = int32_t (*)(void* stream);

struct FileCallbacks {
  FileOpenFn open;   // null stream on failure
  FileCloseFn close; // result ignored
  FileReadFn read;   // bytes delivered, may be short
  FileSeekFn seek;   // whence 0 from start, 1 from current position
  FileTellFn tell;   // position in bytes from the start
};

// The installed table; complete or empty.
FileCallbacks& file_callback_table();

// One opened file of the music code.
struct FileHandle {
  uint8_t kind;       // as given to handle_open; nothing reads it
  void* stream;       // the table's open result
  int32_t user_value; // as given to handle_open; nothing reads it
};

// Installs all five, or empties the table when any one is null.
void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read, FileSeekFn seek,
                        FileTellFn tell);
// True when all five slots are set.
bool file_callbacks_complete();

FileHandle* handle_open(const char* path, uint8_t kind, int32_t user_value); // null on failure
void handle_close(FileHandle* handle);                                     // null: nothing
int32_t handle_read(void* destination, int32_t length, FileHandle* handle); // null: 0
int handle_seek(FileHandle* handle, int32_t offset, int32_t whence);         // null: 0
int32_t handle_tell(FileHandle* handle);                                    // null: 0

}  // namespace qm
