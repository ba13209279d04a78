// atomic_output.h: an output file that appears whole or not at all, for
// every tool that writes files (xmrender, quillmere-capture,
// quillmere-frames).
//
// The data goes to a temporary file beside the file it replaces
// (".NAME.XXXXXX" in the same folder), registered with the stop signals so
// that a stop removes it (stop_signals.h). atomic_commit makes it the
// target only when everything succeeded: flushed to the disk first when it
// replaces a file (so a crash cannot lose both versions), given the
// replaced file's permissions (a new one those of the umask), then renamed
// over it; the folder is synced after a replacing rename. On any failure or
// stop the temporary file is removed and whatever the target held is left
// as it was. A symbolic link as target keeps pointing where it did: the
// file it leads to is the one replaced, or made where a dangling link
// points. A read-only file (no write permission) is never replaced.
//
// The writer writes through `fd`, or opens `temp` by name (a library that
// takes a path); either way the kit keeps `fd` open until the commit, which
// syncs and closes it.
//
// Owns: the temporary file while it exists, and its descriptor. Thread:
// the caller's; one thread per AtomicFile.
//
//   AtomicFile f;
//   Status s = atomic_open(&f, "song.wav", CLOBBER_REPLACE);
//   if (failed(s)) ...                    // s.message: why, s.error: the errno
//   ... write(f.fd, ...) or open f.temp ...
//   s = atomic_commit(&f, CLOBBER_REPLACE);  // or atomic_discard(&f)
#pragma once
#include <sys/types.h>

#include <string>

#include "tools/common/status.h"

struct AtomicFile {
  std::string target;     // the path asked for
  std::string final;      // the file replaced: the target, or where its links lead
  std::string temp;       // the temporary file; empty when none is open
  int fd = -1;            // the temporary file, open for writing; -1 when none
  int temp_slot = -1;     // its slot in the stop signals' table
  mode_t mode = 0;        // permissions the finished file gets
  bool replaces = false;  // final exists: the data reaches the disk before the rename
};

// Whether an existing target may be replaced (--no-clobber keeps it).
enum Clobber { CLOBBER_REPLACE, CLOBBER_KEEP };

// The umask, read once by main before any thread starts (new files get
// 0666 without its bits). Until then the usual 022 is assumed.
void remember_umask();

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, the
// wrong way round (standard input for writing, the others for reading), so
// that no output file takes their number and any use of them fails as it
// would have. Call it first in main.
void keep_standard_streams();

// True when both paths exist and are the same file (same device and inode:
// links, hard or symbolic, are the same file).
bool same_file(const std::string& a, const std::string& b);

// Creates the temporary file for target. Fails (EXIT_FAILED) when target is
// a folder (EISDIR), a read-only file (EACCES), a loop of links (ELOOP),
// exists under CLOBBER_KEEP (EEXIST), or its folder takes no new file (the
// system's errno).
Status atomic_open(AtomicFile* file, const std::string& target, Clobber clobber);
// Syncs the data when it replaces a file, sets the permissions, closes and
// renames the temporary file over `final` (CLOBBER_KEEP: only if nothing
// appeared there meanwhile). On failure the temporary file is removed.
Status atomic_commit(AtomicFile* file, Clobber clobber);
// Closes and removes the temporary file; nothing when none is open.
void atomic_discard(AtomicFile* file);

// Opens what the bytes stream into instead: standard output for "-", else
// an existing device or pipe, for writing. The bytes pass unchanged (on
// Windows the descriptor is switched to binary mode). The descriptor, or -1
// with errno set.
int stream_output_open(const std::string& target);
