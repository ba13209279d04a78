// atomic_output.cpp: the temporary file, its sync and its rename on POSIX
// (see atomic_output.h; the commit and discard are atomic_output_common.cpp's).
// Owns: see atomic_output.h. Thread: see atomic_output.h.
#include "tools/common/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/common/atomic_output_platform.h"
#include "tools/common/stop_signals.h"

namespace {

constexpr mode_t NEW_FILE_MODE = 0666;  // before the umask, as for any new file
constexpr mode_t PERMISSION_BITS = 07777;
constexpr mode_t USUAL_UMASK = 022;
constexpr mode_t ANY_WRITE_BITS = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int MAX_LINK_HOPS = 40;  // links followed before a chain counts as a loop, as the kernel does

mode_t g_umask = USUAL_UMASK;  // set by remember_umask before any thread starts

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a dangling link leads: its links followed by hand (realpath gives
// up on a name that does not exist yet), relative ones from their folder.
std::string follow_dangling(std::string path) {
  for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string to(static_cast<size_t>(st.st_size) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), to.data(), to.size());
    if (length <= 0 || static_cast<size_t>(length) >= to.size()) return path;
    to.resize(static_cast<size_t>(length));
    path = to[0] == '/' ? to : folder_of(path) + "/" + to;
  }
  return path;
}

// The file a target stands for: what its links lead to, also a name that
// does not exist yet at the end of a dangling link; else the target itself.
std::string resolve_links(const std::string& target) {
  char* real = realpath(target.c_str(), nullptr);
  if (real == nullptr) return follow_dangling(target);
  std::string resolved = real;
  std::free(real);
  return resolved;
}

// A file no one may write to (no write permission bit at all, or none for
// this user) is refused as cp and sox refuse it, also for the superuser.
bool read_only(const std::string& path, const struct stat& st) {
  return (st.st_mode & ANY_WRITE_BITS) == 0 || (access(path.c_str(), W_OK) != 0 && errno == EACCES);
}

}  // namespace

namespace atomic_platform {

Status rename_into_place(const AtomicFile& file, Clobber clobber) {
  int result = 0;
  if (clobber == CLOBBER_REPLACE) {
    result = std::rename(file.temp.c_str(), file.final.c_str());
  } else {
    result = renameat2(AT_FDCWD, file.temp.c_str(), AT_FDCWD, file.final.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // A file system without the flag: a hard link also refuses an existing name.
      result = link(file.temp.c_str(), file.final.c_str());
      if (result == 0) unlink(file.temp.c_str());
    }
  }
  if (result == 0) return Status{};
  if (errno == EEXIST) return atomic_platform::refused_by_clobber(file);
  const int error = errno;
  return failure(EXIT_FAILED, "cannot replace " + quoted(file.final) + ": " + std::strerror(error), error);
}

// Syncs the folder of file.final, so that the rename itself reaches the disk.
void settle_replacement(const AtomicFile& file) {
  const int folder = ::open(folder_of(file.final).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  fsync(folder);
  close(folder);
}

Status close_written(AtomicFile* file) {
  const int fd = file->fd;
  file->fd = -1;
  // Replacing a file, the old data must not give way to data still in the
  // page cache: a crash then would lose both. A new file risks nothing.
  int error = file->replaces && fsync(fd) != 0 ? errno : 0;
  fchmod(fd, file->mode);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0) return Status{};
  return failure(EXIT_FAILED, "cannot write " + quoted(file->target) + ": " + std::strerror(error), error);
}

void close_descriptor(int fd) { close(fd); }

void remove_file(const std::string& path) { unlink(path.c_str()); }

}  // namespace atomic_platform

void remember_umask() {
  g_umask = umask(0);
  umask(g_umask);
}

void keep_standard_streams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    // The lowest free number is this one, as the earlier ones are open.
    if (opened >= 0 && opened != fd) close(opened);
  }
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

Status atomic_open(AtomicFile* file, const std::string& target, Clobber clobber) {
  file->target = target;
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0 && clobber == CLOBBER_KEEP) return atomic_platform::refused_by_clobber(*file);
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return failure(EXIT_FAILED, quoted(target) + " is a folder", EISDIR);
    if (S_ISREG(st.st_mode) && read_only(target, st))
      return failure(EXIT_FAILED, quoted(target) + " is read-only; not overwritten", EACCES);
    file->mode = st.st_mode & PERMISSION_BITS;  // a replaced file keeps its permissions
    file->replaces = true;
  } else if (errno == ELOOP) {
    return failure(EXIT_FAILED, quoted(target) + ": " + std::strerror(ELOOP), ELOOP);
  } else {
    file->mode = NEW_FILE_MODE & ~g_umask;
    file->replaces = false;
  }
  file->final = resolve_links(target);
  const std::string folder = folder_of(file->final);
  std::string pattern = folder + "/." + name_of(file->final) + ".XXXXXX";
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return failure(EXIT_FAILED, "cannot create a file in " + quoted(folder) + ": " + std::strerror(error), error);
  }
  file->fd = fd;
  file->temp = pattern;
  file->temp_slot = register_temp_file(file->temp.c_str());
  return Status{};
}

int stream_output_open(const std::string& target) {
  return target == "-" ? STDOUT_FILENO : ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
}
