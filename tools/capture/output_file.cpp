// output_file.cpp: the capture's refusals of an output, then the kit's
// atomic output (see output_file.h).
#include "tools/capture/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Why an existing target may not be written; empty when it may.
std::string check_existing(const std::string& target, const struct stat& st, bool force,
                           const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    if (same_file(input, target)) return "is " + input + ", an input of the capture; it is never written over";
  }
  if (!S_ISREG(st.st_mode)) return "exists and is not a regular file";
  if (!force) return "already exists (add --force to replace it)";
  if (access(target.c_str(), W_OK) != 0) return std::strerror(errno);
  return "";
}

}  // namespace

Status open_capture_output(AtomicFile* out, const std::string& target, bool force,
                           const std::vector<std::string>& inputs) {
  if (target.empty() || target.back() == '/') return failure(EXIT_FAILED, "is a folder, not a file name", EISDIR);
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) {
    const std::string reason = check_existing(target, st, force, inputs);
    if (!reason.empty()) return failure(EXIT_FAILED, reason);
  } else if (errno != ENOENT) {
    const int error = errno;
    return failure(EXIT_FAILED, std::strerror(error), error);
  }
  Status opened = atomic_open(out, target, CLOBBER_REPLACE);
  if (failed(opened) && opened.error != 0) opened.message = std::strerror(opened.error);
  return opened;
}
