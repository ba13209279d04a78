// atomic_output_platform.h: what each system's side of atomic output
// (atomic_output.cpp on POSIX, atomic_output_win32.cpp on Windows) gives the
// shared commit and discard of atomic_output_common.cpp.
// Owns: nothing. Thread: the caller's, as atomic_output.h says.
#pragma once
#include <string>

#include "tools/common/atomic_output.h"

namespace atomic_platform {

// Syncs the temporary file when it replaces one, gives it its permissions
// and closes it; file->fd is -1 afterwards.
Status close_written(AtomicFile* file);
// Moves the finished temporary file onto file.final (refused with
// refused_by_clobber when clobber keeps an existing file).
Status rename_into_place(const AtomicFile& file, Clobber clobber);
// After a file was replaced: makes the rename itself durable where the
// system needs a step of its own for it.
void settle_replacement(const AtomicFile& file);
void close_descriptor(int fd);
void remove_file(const std::string& path);

// The --no-clobber refusal, as both sides report it.
Status refused_by_clobber(const AtomicFile& file);

}  // namespace atomic_platform
