// Placeholder until this unit is written; every entry aborts.
#include "gfx/file_ops.h"
#include <cstdlib>
void* stdio_open(const char*) { std::abort(); }
int stdio_close(void*) { std::abort(); }
int32_t stdio_read(void*, int32_t, void*) { std::abort(); }
int stdio_seek(void*, int32_t, int32_t) { std::abort(); }
int32_t stdio_tell(void*) { std::abort(); }
int stdio_getc(void*) { std::abort(); }
