// file_ops.cpp: thin pass-throughs to the C library's buffered file I/O.
// Owns: nothing beyond the FILE objects it opens for its callers. Touches: the
// files it is given. Thread: whichever thread loads a file; one file is never
// shared between threads.
//
// A file handle is the library's FILE pointer. A null handle is answered like
// a file that failed (EOF, -1, 0 bytes) instead of being passed on.
#include "gfx/file_ops.h"

#include <climits>
#include <cstdio>

namespace {
FILE* as_file(void* file) { return static_cast<FILE*>(file); }
}  // namespace

void* stdio_open(const char* path) { return path ? std::fopen(path, "rb") : nullptr; }

int stdio_close(void* file) { return file ? std::fclose(as_file(file)) : EOF; }

// Reads up to length bytes as 1-byte items; a length below 1 reads nothing.
int32_t stdio_read(void* buffer, int32_t length, void* file) {
  if (!file || !buffer || length <= 0) return 0;
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(length), as_file(file)));
}

// Only the low 8 bits of whence count, as a signed value: 0 from the start,
// 1 from the current position, 2 from the end. Any other value fails (-1).
int stdio_seek(void* file, int32_t offset, int32_t whence) {
  if (!file) return -1;
  switch (static_cast<int8_t>(whence)) {
    case 0: return std::fseek(as_file(file), offset, SEEK_SET);
    case 1: return std::fseek(as_file(file), offset, SEEK_CUR);
    case 2: return std::fseek(as_file(file), offset, SEEK_END);
    default: return -1;
  }
}

// A position that does not fit in 32 bits is reported as -1, the library's
// own failure value, rather than as a wrapped number.
int32_t stdio_tell(void* file) {
  if (!file) return -1;
  const long position = std::ftell(as_file(file));
  return position < 0 || position > INT32_MAX ? -1 : static_cast<int32_t>(position);
}

int stdio_getc(void* file) { return file ? std::getc(as_file(file)) : EOF; }
