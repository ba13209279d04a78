// console_log.cpp: the process-wide console logger.
// Owns: the one ConsoleLog of the process and a 300-byte formatting buffer on
// the stack of each call. Touches: the stream attached as its handle.
// Thread: main thread (the image loader reports through it).
#include "gfx/console_log.h"

#include <cstdarg>

// The process's logger: no handle (messages dropped) until the program
// attaches one; threshold 0.
ConsoleLog console_log;

namespace {
constexpr int LOG_BUFFER_SIZE = 300;  // bytes, terminating zero included
}  // namespace

// Formats into the buffer, cutting a longer message at 299 characters, and
// writes it when level reaches the threshold. Returns the length kept in the
// buffer (0 when there is no handle or the format fails).
int ConsoleLog::log(int level, const char* format, ...) {
  if (!handle) return 0;
  char buffer[LOG_BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  const int wanted = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (wanted < 0) return 0;
  const int length = wanted < LOG_BUFFER_SIZE ? wanted : LOG_BUFFER_SIZE - 1;
  if (level >= threshold) std::fwrite(buffer, 1, static_cast<size_t>(length), handle);
  return length;
}
