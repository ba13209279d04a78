// atomic_output_win32.cpp: the temporary file, its flush and its rename on
// Windows (see atomic_output.h; atomic_output.cpp is the POSIX side, and the
// commit and discard are atomic_output_common.cpp's).
// The temporary file is created exclusively beside the target, written
// through a C runtime descriptor in binary mode, flushed to the disk when
// it replaces a file, and moved over the target with MoveFileEx (write
// through). Windows has no permission bits to carry over: the replaced
// file's attributes (read-only, hidden) are given to the new one.
// Owns: see atomic_output.h. Thread: see atomic_output.h.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "tools/common/atomic_output.h"
#include "tools/common/atomic_output_platform.h"
#include "tools/common/stop_signals.h"
#include "tools/common/win32_errors.h"

namespace {

constexpr int TEMP_NAME_TRIES = 100;      // names tried before giving up
constexpr int TEMP_SUFFIX_LETTERS = 6;    // ".NAME.XXXXXX", as on POSIX
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Attributes a replaced file hands on to its successor.
constexpr DWORD KEPT_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

size_t last_separator(const std::string& path) { return path.find_last_of("/\\"); }

std::string folder_of(const std::string& path) {
  const size_t slash = last_separator(path);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const size_t slash = last_separator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A failure whose reason is Windows' last error, as errno and its text.
Status system_failure(const std::string& what, DWORD code) {
  const int error = errno_of_win32(code);
  return failure(EXIT_FAILED, what + ": " + std::strerror(error), error);
}

// The file a target stands for: where its links lead when it is one, else
// the target itself.
std::string resolve_links(const std::string& target, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return target;
  HANDLE h = CreateFileA(target.c_str(), 0, SHARE_ALL, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return target;
  char path[MAX_PATH];
  const DWORD n = GetFinalPathNameByHandleA(h, path, MAX_PATH, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  return n > 0 && n < MAX_PATH ? std::string(path) : target;
}

// Creates a new file ".NAME.XXXXXX" in folder, open for writing; its
// descriptor, or -1 with Windows' error in *code.
int create_temp(const std::string& folder, const std::string& name, std::string* path, DWORD* code) {
  static constexpr char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::minstd_rand pick(seed());
  for (int attempt = 0; attempt < TEMP_NAME_TRIES; ++attempt) {
    std::string candidate = folder + "/." + name + ".";
    for (int i = 0; i < TEMP_SUFFIX_LETTERS; ++i) candidate += LETTERS[pick() % (sizeof LETTERS - 1)];
    HANDLE h = CreateFileA(candidate.c_str(), GENERIC_WRITE | GENERIC_READ, SHARE_ALL, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      *code = GetLastError();
      if (*code == ERROR_FILE_EXISTS || *code == ERROR_ALREADY_EXISTS) continue;
      return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_RDWR);
    if (fd < 0) {
      *code = GetLastError();
      CloseHandle(h);
      DeleteFileA(candidate.c_str());
      return -1;
    }
    *path = candidate;
    return fd;
  }
  *code = ERROR_FILE_EXISTS;
  return -1;
}

}  // namespace

namespace atomic_platform {

Status close_written(AtomicFile* file) {
  const int fd = file->fd;
  file->fd = -1;
  // Replacing a file, the old data must not give way to data still in the
  // cache: a crash then would lose both. A new file risks nothing.
  DWORD code = 0;
  if (file->replaces && !FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd)))) code = GetLastError();
  if (_close(fd) != 0 && code == 0) code = ERROR_WRITE_FAULT;
  if (code == 0) return Status{};
  return system_failure("cannot write " + quoted(file->target), code);
}

Status rename_into_place(const AtomicFile& file, Clobber clobber) {
  DWORD flags = MOVEFILE_WRITE_THROUGH;
  if (clobber == CLOBBER_REPLACE) flags |= MOVEFILE_REPLACE_EXISTING;
  if (MoveFileExA(file.temp.c_str(), file.final.c_str(), flags)) {
    if (file.mode != 0) SetFileAttributesA(file.final.c_str(), file.mode);
    return Status{};
  }
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return atomic_platform::refused_by_clobber(file);
  return system_failure("cannot replace " + quoted(file.final), code);
}

// MoveFileEx's write-through has made the rename durable already.
void settle_replacement(const AtomicFile&) {}

void close_descriptor(int fd) { _close(fd); }

void remove_file(const std::string& path) { DeleteFileA(path.c_str()); }

}  // namespace atomic_platform

namespace {

bool file_identity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileA(path.c_str(), 0, SHARE_ALL, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}

}  // namespace

void remember_umask() {}

// A program started without a console has no standard streams, and the C
// runtime gives their numbers to the next files opened: each closed one is
// opened on NUL the wrong way round, so no output file takes its number.
void keep_standard_streams() {
  constexpr int LAST_STANDARD_STREAM = 2;
  for (int fd = 0; fd <= LAST_STANDARD_STREAM; ++fd) {
    if (_get_osfhandle(fd) != -1) continue;
    const int opened = _open("NUL", fd == 0 ? _O_WRONLY : _O_RDONLY);
    // The lowest free number is this one, as the earlier ones are open.
    if (opened >= 0 && opened != fd) _close(opened);
  }
}

bool same_file(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  return file_identity(a, &ia) && file_identity(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

Status atomic_open(AtomicFile* file, const std::string& target, Clobber clobber) {
  file->target = target;
  const DWORD attributes = GetFileAttributesA(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && clobber == CLOBBER_KEEP) return atomic_platform::refused_by_clobber(*file);
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return failure(EXIT_FAILED, quoted(target) + " is a folder", EISDIR);
  }
  file->replaces = exists;
  file->mode = exists ? static_cast<mode_t>(attributes & KEPT_ATTRIBUTES) : 0;
  file->final = exists ? resolve_links(target, attributes) : target;
  const std::string folder = folder_of(file->final);
  DWORD code = 0;
  const int fd = create_temp(folder, name_of(file->final), &file->temp, &code);
  if (fd < 0) return system_failure("cannot create a file in " + quoted(folder), code);
  file->fd = fd;
  file->temp_slot = register_temp_file(file->temp.c_str());
  return Status{};
}

int stream_output_open(const std::string& target) {
  if (target != "-") return _open(target.c_str(), _O_WRONLY | _O_BINARY);
  // Text mode would put a carriage return before every byte 10.
  return _setmode(_fileno(stdout), _O_BINARY) < 0 ? -1 : _fileno(stdout);
}
