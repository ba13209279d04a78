// output_file.cpp: checks, creates, renames and removes the capture's output
// (see output_file.h). The signal handler only calls unlink, signal and
// raise, which are safe in a handler, on a path stored before it is armed.
#include "tools/capture/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* TEMP_SUFFIX = ".partial-XXXXXX"; // mkstemp fills the X's
constexpr mode_t NEW_FILE_MODE = 0666;                 // before the umask, as any program's new file
constexpr int GUARDED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file the handler removes; written only while the guarded
// signals are blocked, and armed after it is complete.
char temp_path[PATH_MAX];
std::atomic<bool> temp_armed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void on_signal(int signal_number) {
  if (temp_armed.load()) unlink(temp_path);
  signal(signal_number, SIG_DFL);
  raise(signal_number);  // delivered as the handler returns: the default action ends the process
}

// Blocks (or unblocks) the guarded signals around a change of the temporary
// file, so the handler never sees half of one.
void block_guarded_signals(bool block) {
  sigset_t set;
  sigemptyset(&set);
  for (int s : GUARDED_SIGNALS) sigaddset(&set, s);
  sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Why an existing target may not be written; empty when it may.
std::string check_existing(const std::string& target, const struct stat& st, bool force,
                           const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    struct stat in;
    if (stat(input.c_str(), &in) == 0 && in.st_dev == st.st_dev && in.st_ino == st.st_ino) {
      return "is " + input + ", an input of the capture; it is never written over";
    }
  }
  if (!S_ISREG(st.st_mode)) return "exists and is not a regular file";
  if (!force) return "already exists (add --force to replace it)";
  if (access(target.c_str(), W_OK) != 0) return std::strerror(errno);
  return "";
}

bool refuse(std::string& why, const std::string& reason) {
  why = reason;
  return false;
}

}  // namespace

void guard_output_against_signals() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  for (int s : GUARDED_SIGNALS) {
    struct sigaction current {};
    sigaction(s, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;  // as under nohup: the signal stays ignored
    sigaction(s, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
}

bool output_prepare(OutputFile& out, const std::string& target, bool force, const std::vector<std::string>& inputs,
                    std::string& why) {
  out.target = target;
  out.temp.clear();
  if (target.empty() || target.back() == '/') return refuse(why, "is a folder, not a file name");
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    const std::string reason = check_existing(target, st, force, inputs);
    if (!reason.empty()) return refuse(why, reason);
  } else if (errno != ENOENT) {
    return refuse(why, std::strerror(errno));
  }
  const std::string pattern = directory_of(target) + "/." + base_name_of(target) + TEMP_SUFFIX;
  if (pattern.size() >= sizeof temp_path) return refuse(why, "the name is too long");
  block_guarded_signals(true);
  std::memcpy(temp_path, pattern.c_str(), pattern.size() + 1);
  const int fd = mkstemp(temp_path);
  const int error = errno;
  if (fd >= 0) temp_armed.store(true);
  block_guarded_signals(false);
  if (fd < 0) return refuse(why, std::strerror(error));
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, NEW_FILE_MODE & ~mask);
  close(fd);
  out.temp = temp_path;
  return true;
}

bool output_commit(OutputFile& out, std::string& why) {
  if (out.temp.empty()) return refuse(why, "nothing was written");
  block_guarded_signals(true);
  const bool renamed = rename(out.temp.c_str(), out.target.c_str()) == 0;
  const int error = errno;
  if (renamed) {
    temp_armed.store(false);
    out.temp.clear();
  }
  block_guarded_signals(false);
  if (renamed) return true;
  output_discard(out);
  return refuse(why, std::strerror(error));
}

void output_discard(OutputFile& out) {
  if (out.temp.empty()) return;
  block_guarded_signals(true);
  unlink(out.temp.c_str());
  temp_armed.store(false);
  block_guarded_signals(false);
  out.temp.clear();
}
