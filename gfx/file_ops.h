// file_ops.h: thin pass-throughs to the C library's buffered file I/O.
// Owns: nothing. The same five (open .. tell) are what the demo installs as
// the music code's file callbacks. Thread: whichever thread loads a file.
#pragma once
#include <cstdint>

void* stdio_open(const char* path);                        // "rb"; null on failure
int stdio_close(void* file);                               // fclose's result
int32_t stdio_read(void* buffer, int32_t length, void* file); // bytes read
int stdio_seek(void* file, int32_t offset, int32_t whence);  // whence as int8: 0 set, 1 cur, 2 end
int32_t stdio_tell(void* file);                            // current position
int stdio_getc(void* file);                                // 0..255, or -1 at end or error
