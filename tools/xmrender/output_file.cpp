// output_file.cpp: buffered writes, the temporary file and its rename; the
// stop flag, the signal handlers and the table of temporary files. The
// handler calls only async-signal-safe functions (unlink, signal, raise) and
// touches only lock-free atomics and the table.
// Owns: see output_file.h. Thread: see output_file.h.
#include "tools/xmrender/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
// One slot per output being written at once: at most one per render thread.
constexpr int TEMP_SLOTS = 64;

enum SlotState : int { SLOT_FREE, SLOT_FILLING, SLOT_ARMED };

struct TempSlot {
  std::atomic<int> state{SLOT_FREE};  // SlotState; path is read only while SLOT_ARMED
  char path[PATH_MAX] = {};
};

std::atomic<int> g_stop_signal{0};  // the first stop signal, 0 before any
TempSlot g_temp_files[TEMP_SLOTS];

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free atomics");

void on_stop_signal(int signal) {
  int none = 0;
  if (g_stop_signal.compare_exchange_strong(none, signal)) return;
  // A second signal: the orderly stop is not coming; remove and go.
  for (TempSlot& slot : g_temp_files) {
    if (slot.state.load(std::memory_order_acquire) == SLOT_ARMED) unlink(slot.path);
  }
  ::signal(signal, SIG_DFL);
  raise(signal);
}

sigset_t stop_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : STOP_SIGNALS) sigaddset(&set, s);
  return set;
}

// Records a temporary file for removal by a second signal; returns its slot,
// or -1 when the table is full or the path too long (the first signal's
// orderly stop still removes it).
int register_temp_file(const char* path) {
  const size_t length = std::strlen(path);
  if (length >= PATH_MAX) return -1;
  for (int i = 0; i < TEMP_SLOTS; ++i) {
    int expected = SLOT_FREE;
    if (!g_temp_files[i].state.compare_exchange_strong(expected, SLOT_FILLING)) continue;
    std::memcpy(g_temp_files[i].path, path, length + 1);
    g_temp_files[i].state.store(SLOT_ARMED, std::memory_order_release);
    return i;
  }
  return -1;
}

// Forgets a slot (after the file was renamed or removed); -1 does nothing.
void unregister_temp_file(int slot) {
  if (slot >= 0 && slot < TEMP_SLOTS) g_temp_files[slot].state.store(SLOT_FREE, std::memory_order_release);
}

constexpr size_t SINK_BUFFER_BYTES = size_t{1} << 20;  // writes of 1 MiB
constexpr mode_t NEW_FILE_MODE = 0666;                 // before the umask, as for any new file
constexpr mode_t PERMISSION_BITS = 07777;

mode_t g_umask = 022;  // set by remember_umask before any thread starts

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Writes every byte, going on after a signal unless a stop was asked for.
bool write_all(Sink* sink, const unsigned char* bytes, size_t size) {
  while (size > 0) {
    if (stop_requested()) {
      sink->error = EINTR;
      return false;
    }
    const ssize_t n = ::write(sink->fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      sink->error = errno;
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a target stands for: what its links lead to when they lead
// somewhere, else the target itself.
std::string resolve_links(const std::string& target) {
  char* real = realpath(target.c_str(), nullptr);
  if (real == nullptr) return target;
  std::string resolved = real;
  std::free(real);
  return resolved;
}

bool open_stream(const std::string& target, OutputFile* out, std::string* why) {
  const int fd = target == "-" ? STDOUT_FILENO : ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = "cannot open " + quoted(target) + ": " + std::strerror(errno);
    return false;
  }
  sink_attach(&out->sink, fd, false);
  return true;
}

// Moves the finished temporary file onto out->final.
bool rename_into_place(const OutputFile* out, bool no_clobber, std::string* why) {
  int result = 0;
  if (!no_clobber) {
    result = std::rename(out->temp.c_str(), out->final.c_str());
  } else {
    result = renameat2(AT_FDCWD, out->temp.c_str(), AT_FDCWD, out->final.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // A file system without the flag: a hard link also refuses an existing name.
      result = link(out->temp.c_str(), out->final.c_str());
      if (result == 0) unlink(out->temp.c_str());
    }
  }
  if (result == 0) return true;
  if (errno == EEXIST) {
    *why = quoted(out->target) + " exists; not overwritten (--no-clobber)";
  } else {
    *why = "cannot replace " + quoted(out->final) + ": " + std::strerror(errno);
  }
  return false;
}

}  // namespace

bool sink_flush(Sink* sink) {
  if (sink->error != 0) return false;
  const bool ok = write_all(sink, sink->buffer.data(), sink->buffer.size());
  sink->buffer.clear();
  return ok;
}

bool sink_write(Sink* sink, const void* bytes, size_t size) {
  if (sink->error != 0) return false;
  if (sink->buffer.capacity() < SINK_BUFFER_BYTES) sink->buffer.reserve(SINK_BUFFER_BYTES);
  if (sink->buffer.size() + size > SINK_BUFFER_BYTES && !sink_flush(sink)) return false;
  sink->position += size;
  if (size >= SINK_BUFFER_BYTES) return write_all(sink, static_cast<const unsigned char*>(bytes), size);
  const auto* p = static_cast<const unsigned char*>(bytes);
  sink->buffer.insert(sink->buffer.end(), p, p + size);
  return true;
}

void sink_attach(Sink* sink, int fd, bool seekable) {
  sink->fd = fd;
  sink->seekable = seekable;
  sink->position = 0;
  sink->error = 0;
  sink->buffer.clear();
}

bool sink_seek(Sink* sink, uint64_t offset) {
  if (!sink->seekable || !sink_flush(sink)) return false;
  if (lseek(sink->fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
    sink->error = errno;
    return false;
  }
  sink->position = offset;
  return true;
}

bool output_is_stream(const std::string& target) {
  if (target == "-") return true;
  struct stat st {};
  return stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void remember_umask() {
  g_umask = umask(0);
  umask(g_umask);
}

bool output_open(const std::string& target, bool no_clobber, OutputFile* out, std::string* why) {
  out->target = target;
  struct stat st {};
  const bool exists = lstat(target.c_str(), &st) == 0;
  if (exists && no_clobber && !output_is_stream(target)) {
    *why = quoted(target) + " exists; not overwritten (--no-clobber)";
    return false;
  }
  if (output_is_stream(target)) return open_stream(target, out, why);
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      *why = quoted(target) + " is a folder";
      return false;
    }
    out->mode = st.st_mode & PERMISSION_BITS;  // a replaced file keeps its permissions
    out->replaces = true;
  } else {
    out->mode = NEW_FILE_MODE & ~g_umask;
  }
  out->final = resolve_links(target);
  const std::string folder = folder_of(out->final);
  std::string pattern = folder + "/." + name_of(out->final) + ".XXXXXX";
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    *why = "cannot create a file in " + quoted(folder) + ": " + std::strerror(errno);
    return false;
  }
  out->temp = pattern;
  out->temp_slot = register_temp_file(out->temp.c_str());
  sink_attach(&out->sink, fd, true);
  return true;
}

bool output_commit(OutputFile* out, bool no_clobber, std::string* why) {
  const bool stream = out->temp.empty();
  bool ok = sink_flush(&out->sink);
  // Replacing a file, the old data must not give way to data still in the
  // page cache: a crash then would lose both. A new file risks nothing.
  if (ok && out->replaces && fsync(out->sink.fd) != 0) {
    out->sink.error = errno;
    ok = false;
  }
  if (ok && !stream) fchmod(out->sink.fd, out->mode);
  if (!ok) {
    *why = out->sink.error == EINTR && stop_requested()
               ? "stopped; nothing written"
               : "cannot write " + quoted(out->target) + ": " + std::strerror(out->sink.error);
    output_discard(out);
    return false;
  }
  if (stream) {
    output_discard(out);
    return true;
  }
  const int fd = out->sink.fd;
  out->sink.fd = -1;
  if (close(fd) != 0) {
    *why = "cannot write " + quoted(out->target) + ": " + std::strerror(errno);
    output_discard(out);
    return false;
  }
  if (!rename_into_place(out, no_clobber, why)) {
    output_discard(out);
    return false;
  }
  unregister_temp_file(out->temp_slot);
  out->temp_slot = -1;
  out->temp.clear();
  if (!out->replaces) return true;
  // The rename itself reaches the disk with the folder.
  const int folder = ::open(folder_of(out->final).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

void output_discard(OutputFile* out) {
  if (out->sink.fd >= 0 && out->sink.fd != STDOUT_FILENO) close(out->sink.fd);
  out->sink.fd = -1;
  out->sink.buffer.clear();
  if (!out->temp.empty()) {
    unlink(out->temp.c_str());
    unregister_temp_file(out->temp_slot);
    out->temp_slot = -1;
    out->temp.clear();
  }
}

// ---- Stops ------------------------------------------------------------------

void install_stop_handlers() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked write returns and sees the flag
  for (int s : STOP_SIGNALS) {
    // A signal ignored from the start (nohup, a background job) stays ignored.
    struct sigaction before {};
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
}

void block_stop_signals() {
  const sigset_t set = stop_signal_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool stop_requested() { return g_stop_signal.load() != 0; }

void end_by_stop_signal() {
  const int s = g_stop_signal.load();
  signal(s, SIG_DFL);
  const sigset_t set = stop_signal_set();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(s);
  _exit(128 + s);  // not reached: the default action of every stop signal ends the process
}
