// Placeholder until this unit is written; every entry aborts.
#include "music/file_callbacks.h"
#include <cstdlib>
FileCallbacks file_callbacks;
void set_file_callbacks(FileOpenFn, FileCloseFn, FileReadFn, FileSeekFn, FileTellFn) { std::abort(); }
bool file_callbacks_complete() { std::abort(); }
FileHandle* handle_open(const char*, uint8_t, int32_t) { std::abort(); }
void handle_close(FileHandle*) { std::abort(); }
int32_t handle_read(void*, int32_t, FileHandle*) { std::abort(); }
int handle_seek(FileHandle*, int32_t, int32_t) { std::abort(); }
int32_t handle_tell(FileHandle*) { std::abort(); }
