// show_files.cpp: the stdio and in-memory file callbacks the tests load
// modules through the show's calls with (see show_files.h).
// Owns: the in-memory file set by set_memory_file (a borrowed pointer).
// Thread: the test's thread.
#include "tests/support/show_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "tests/support/xm_writer.h"

using namespace qm;

// ---- stdio callbacks ----

namespace {

void* stdio_cb_open(const char* path) { return std::fopen(path, "rb"); }
int stdio_cb_close(void* f) { return std::fclose(static_cast<FILE*>(f)); }
int32_t stdio_cb_read(void* dst, int32_t length, void* f) {
  if (length <= 0) return 0;
  return static_cast<int32_t>(std::fread(dst, 1, static_cast<size_t>(length), static_cast<FILE*>(f)));
}
int stdio_cb_seek(void* f, int32_t offset, int32_t whence) {
  int origin = whence == 0 ? SEEK_SET : whence == 1 ? SEEK_CUR : SEEK_END;
  return std::fseek(static_cast<FILE*>(f), offset, origin);
}
int32_t stdio_cb_tell(void* f) { return static_cast<int32_t>(std::ftell(static_cast<FILE*>(f))); }

// ---- in-memory callbacks ----

const uint8_t* memory_data = nullptr;
size_t memory_size = 0;

struct MemoryStream {
  const uint8_t* data;
  int64_t size;
  int64_t pos;
};

void* memory_cb_open(const char*) {
  if (memory_data == nullptr) return nullptr;
  return new (std::nothrow) MemoryStream{memory_data, static_cast<int64_t>(memory_size), 0};
}
int memory_cb_close(void* s) {
  delete static_cast<MemoryStream*>(s);
  return 0;
}
int32_t memory_cb_read(void* dst, int32_t length, void* s) {
  auto* m = static_cast<MemoryStream*>(s);
  if (length <= 0 || m->pos >= m->size) return 0;
  int64_t n = std::min<int64_t>(length, m->size - m->pos);
  std::memcpy(dst, m->data + m->pos, static_cast<size_t>(n));
  m->pos += n;
  return static_cast<int32_t>(n);
}
int memory_cb_seek(void* s, int32_t offset, int32_t whence) {
  auto* m = static_cast<MemoryStream*>(s);
  int64_t base = whence == 0 ? 0 : whence == 1 ? m->pos : m->size;
  int64_t target = base + offset;
  if (target < 0) return -1;
  m->pos = target;
  return 0;
}
int32_t memory_cb_tell(void* s) { return static_cast<int32_t>(static_cast<MemoryStream*>(s)->pos); }

} // namespace

void install_stdio_callbacks() {
  set_file_callbacks(stdio_cb_open, stdio_cb_close, stdio_cb_read, stdio_cb_seek, stdio_cb_tell);
}

void install_memory_callbacks() {
  set_file_callbacks(memory_cb_open, memory_cb_close, memory_cb_read, memory_cb_seek, memory_cb_tell);
}

void set_memory_file(const uint8_t* data, size_t size) {
  memory_data = data;
  memory_size = size;
}

Module* load_module_from_bytes(const std::vector<uint8_t>& bytes) {
  install_stdio_callbacks();
  TempFile file(bytes);
  if (file.path.empty()) return nullptr;
  return as_module(load_module(file.path.c_str()));
}

