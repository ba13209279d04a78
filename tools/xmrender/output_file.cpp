// output_file.cpp: buffered writes into a stream or an atomic output file.
// Owns: see output_file.h. Thread: see output_file.h.
#include "tools/xmrender/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/common/stop_signals.h"

namespace {

constexpr size_t SINK_BUFFER_BYTES = size_t{1} << 20;  // writes of 1 MiB
// Writes at least this long go out as they are, without a copy into the buffer.
constexpr size_t SINK_DIRECT_BYTES = size_t{64} << 10;

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

bool open_stream(const std::string& target, OutputFile* out, std::string* why) {
  const int fd = stream_output_open(target);
  if (fd < 0) {
    *why = "cannot open " + quoted(target) + ": " + std::strerror(errno);
    return false;
  }
  sink_attach(&out->sink, fd, false);
  return true;
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
  const bool direct = size >= SINK_DIRECT_BYTES;
  if ((direct || sink->buffer.size() + size > SINK_BUFFER_BYTES) && !sink_flush(sink)) return false;
  sink->position += size;
  if (direct) return write_all(sink, static_cast<const unsigned char*>(bytes), size);
  if (sink->buffer.capacity() < SINK_BUFFER_BYTES) sink->buffer.reserve(SINK_BUFFER_BYTES);
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

bool output_open(const std::string& target, bool no_clobber, OutputFile* out, std::string* why) {
  out->target = target;
  if (output_is_stream(target)) return open_stream(target, out, why);
  const Status opened = atomic_open(&out->file, target, no_clobber ? CLOBBER_KEEP : CLOBBER_REPLACE);
  if (failed(opened)) {
    *why = opened.message;
    return false;
  }
  sink_attach(&out->sink, out->file.fd, true);
  return true;
}

bool output_commit(OutputFile* out, bool no_clobber, std::string* why) {
  if (!sink_flush(&out->sink)) {
    *why = out->sink.error == EINTR && stop_requested()
               ? "stopped; nothing written"
               : "cannot write " + quoted(out->target) + ": " + std::strerror(out->sink.error);
    output_discard(out);
    return false;
  }
  if (out->file.temp.empty()) {  // a stream: nothing more to do
    output_discard(out);
    return true;
  }
  out->sink.fd = -1;  // the commit closes it
  const Status committed = atomic_commit(&out->file, no_clobber ? CLOBBER_KEEP : CLOBBER_REPLACE);
  if (failed(committed)) *why = committed.message;
  return !failed(committed);
}

void output_discard(OutputFile* out) {
  if (out->file.fd >= 0 || !out->file.temp.empty()) {
    atomic_discard(&out->file);
  } else if (out->sink.fd >= 0 && out->sink.fd != STDOUT_FILENO) {
    close(out->sink.fd);
  }
  out->sink.fd = -1;
  out->sink.buffer.clear();
}
