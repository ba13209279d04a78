// atomic_output_common.cpp: the commit and the discard of atomic output,
// the same on every system (see atomic_output.h); the steps they take are
// the system's (atomic_output_platform.h).
// Owns: see atomic_output.h. Thread: see atomic_output.h.
#include <cerrno>

#include "tools/common/atomic_output.h"
#include "tools/common/atomic_output_platform.h"
#include "tools/common/stop_signals.h"

namespace atomic_platform {

Status refused_by_clobber(const AtomicFile& file) {
  return failure(EXIT_FAILED, quoted(file.target) + " exists; not overwritten (--no-clobber)", EEXIST);
}

}  // namespace atomic_platform

Status atomic_commit(AtomicFile* file, Clobber clobber) {
  if (file->temp.empty()) return failure(EXIT_FAILED, "nothing was written", EBADF);
  Status status = stop_requested() ? failure(EXIT_FAILED, "stopped; nothing written", EINTR) : atomic_platform::close_written(file);
  if (!failed(status)) status = atomic_platform::rename_into_place(*file, clobber);
  if (failed(status)) {
    atomic_discard(file);
    return status;
  }
  unregister_temp_file(file->temp_slot);
  file->temp_slot = -1;
  file->temp.clear();
  if (file->replaces) atomic_platform::settle_replacement(*file);
  return status;
}

void atomic_discard(AtomicFile* file) {
  if (file->fd >= 0) atomic_platform::close_descriptor(file->fd);
  file->fd = -1;
  if (file->temp.empty()) return;
  atomic_platform::remove_file(file->temp);
  unregister_temp_file(file->temp_slot);
  file->temp_slot = -1;
  file->temp.clear();
}
