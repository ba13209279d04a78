// output_file.h: where a render's bytes go, written so that no data is ever
// lost. A regular file is an atomic output of the tools' kit
// (tools/common/atomic_output.h): a temporary file beside the target,
// renamed over it only when everything succeeded, removed on any failure or
// stop. "-" (standard output) and existing devices, pipes and sockets are
// streams, written as the bytes come. Writes stop once a stop signal came
// (tools/common/stop_signals.h).
// Owns: the output's file descriptor (through its AtomicFile for a file).
// Thread: the one rendering that output.
//
//   OutputFile out;
//   if (!output_open("song.wav", false, &out, &why)) ...
//   sink_write(&out.sink, bytes, n); ...  // fails once stop_requested()
//   if (!output_commit(&out, false, &why)) ...   // or output_discard(&out)
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/atomic_output.h"

// A buffered writer over a file descriptor.
struct Sink {
  int fd = -1;
  bool seekable = false;               // a regular file written from its start
  std::vector<unsigned char> buffer;   // bytes waiting to be written
  uint64_t position = 0;               // bytes from the start to the end of the buffer
  int error = 0;                       // errno of the first failure; 0 while all is well
};

// Each returns false once a write has failed or a stop was asked for
// (error EINTR); nothing more is written after that.
bool sink_write(Sink* sink, const void* bytes, size_t size);
bool sink_flush(Sink* sink);
// Flushes, then moves to offset from the start of a seekable sink.
bool sink_seek(Sink* sink, uint64_t offset);
// Takes over a stream's descriptor or a temporary file's (seekable).
void sink_attach(Sink* sink, int fd, bool seekable);

struct OutputFile {
  std::string target;  // the path asked for; "-" for standard output
  AtomicFile file;     // the temporary file of a regular file; none for a stream
  Sink sink;
};

// True when target is "-" or an existing file that is not a regular file or
// a folder (a device, pipe or socket): it is written directly.
bool output_is_stream(const std::string& target);

// Opens out for target. no_clobber refuses an existing target.
bool output_open(const std::string& target, bool no_clobber, OutputFile* out, std::string* why);
// Flushes and, for a file, commits it (no_clobber: only if the target still
// does not exist). On failure the temporary file is removed.
bool output_commit(OutputFile* out, bool no_clobber, std::string* why);
// Closes and removes the temporary file; a stream is only closed.
void output_discard(OutputFile* out);
