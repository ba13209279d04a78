// output_file.h: the capture's output file. Refused before any work when it
// is one of the inputs (by any name or link), a folder or another file that
// is not a regular one, an existing file without --force or one that cannot
// be written; then an atomic output of the tools' kit
// (tools/common/atomic_output.h): the video goes to a temporary file beside
// it, renamed over it only when finished, removed on a failure or a stop.
// Owns: nothing (the AtomicFile it opens is the caller's). Touches: the file
// system. Thread: main thread.
//
//   AtomicFile out;
//   Status s = open_capture_output(&out, path, force, inputs);
//   if (failed(s)) ...refuse: print_failure(program, path, s.message)...
//   ... write out.temp ...
//   s = atomic_commit(&out, CLOBBER_REPLACE);   // or atomic_discard(&out)
#pragma once
#include <string>
#include <vector>

#include "tools/common/atomic_output.h"

// Checks target and creates the temporary file beside it. inputs are the
// files the capture reads (compared by device and inode, so no name, link
// or relative path lets the capture write over one). A failure (nothing
// created) says why in the capture's words: its own refusals, or the
// system's reason alone.
Status open_capture_output(AtomicFile* out, const std::string& target, bool force,
                           const std::vector<std::string>& inputs);
