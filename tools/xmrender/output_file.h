// output_file.h: where a render's bytes go, written so that no data is ever
// lost. A regular file is written as a temporary file beside the target
// (".NAME.XXXXXX" in the target's folder), flushed to the disk and renamed
// over the target only when everything succeeded; on any failure or stop it
// is removed, and whatever the target held before is left as it was. "-"
// (standard output) and existing devices, pipes and sockets are streams,
// written as the bytes come.
//
// Stops: on SIGINT, SIGTERM or SIGHUP the first signal only raises a flag;
// every render loop looks at it between chunks, removes its temporary file
// and returns, and main then ends the process by the same signal. A second
// signal (when something does not return) removes every registered
// temporary file at once and ends the process right there.
//
// Owns: the output's file descriptor and temporary file; the process's
// signal handlers and the table of temporary files. Thread: the one
// rendering that output; install_stop_handlers and end_by_stop_signal on
// main only.
//
//   install_stop_handlers();              // main, before starting threads
//   block_stop_signals();                 // first thing in a worker thread
//   OutputFile out;
//   if (!output_open("song.wav", false, &out, &why)) ...
//   sink_write(&out.sink, bytes, n); ...  // fails once stop_requested()
//   if (!output_commit(&out, false, &why)) ...   // or output_discard(&out)
//   if (stop_requested()) end_by_stop_signal();  // main, after the joins
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
  std::string final;   // the file the temporary one replaces (the target, or what its link points to)
  std::string temp;    // the temporary file; empty for a stream
  int temp_slot = -1;  // its slot in the stop table
  mode_t mode = 0;     // permissions the finished file gets
  bool replaces = false;  // the target exists: the new data reaches the disk before the rename
  Sink sink;
};

// True when target is "-" or an existing file that is not a regular file or
// a folder (a device, pipe or socket): it is written directly.
bool output_is_stream(const std::string& target);
// True when both paths exist and are the same file (same device and inode:
// links, hard or symbolic, are the same file).
bool same_file(const std::string& a, const std::string& b);
// The umask, read once by main before any thread starts.
void remember_umask();

// Opens out for target. no_clobber refuses an existing target.
bool output_open(const std::string& target, bool no_clobber, OutputFile* out, std::string* why);
// Flushes and, for a temporary file, renames it over the target (no_clobber:
// only if the target still does not exist), syncing it first when it
// replaces an existing file. On failure the temporary file is removed.
bool output_commit(OutputFile* out, bool no_clobber, std::string* why);
// Closes and removes the temporary file; a stream is only closed.
void output_discard(OutputFile* out);

// ---- Stops ------------------------------------------------------------------

// Installs the handlers, and ignores SIGXFSZ so that a write beyond the
// file-size limit fails with "File too large" instead of ending the process.
void install_stop_handlers();
// Keeps the stop signals away from the calling thread, so they reach main.
void block_stop_signals();
// True once a stop signal has arrived.
bool stop_requested();
// Ends the process by the signal that asked for the stop (its default
// action), as the shell expects of an interrupted program.
[[noreturn]] void end_by_stop_signal();
