// console_log.h: the process-wide console logger.
// Owns: a 300-byte formatting buffer per call. Touches: its output stream.
// Thread: main thread (the image loader reports through it).
#pragma once
#include <cstdint>
#include <cstdio>

class ConsoleLog {
 public:
  FILE* handle = nullptr; // where messages go; none drops every message
  int32_t threshold = 0;  // lowest level written (signed comparison)

  // printf-style into a 300-byte buffer (longer messages are cut).
  // Returns the formatted length, or 0 at once when there is no handle.
  int log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
};

// The one logger of the process. The show attaches standard error to it.
extern ConsoleLog console_log;
