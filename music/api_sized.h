// api_sized.h: how the C API fills the caller's structs that may grow (a
// `size` field first, see "Structs that grow" in quillmere/music.h).
// Owns: nothing. Thread: any.
#pragma once
#include <cstddef>
#include <cstring>

namespace qm {

// Copies `full` (whose size field holds sizeof(T)) into the caller's *out,
// as many bytes as out->size asks for (0: T's first layout, first_size
// bytes) and at most sizeof(T); out->size becomes the bytes filled. False,
// touching nothing, for a size below first_size.
template <typename T>
bool fill_sized(T* out, const T& full, size_t first_size) {
  const size_t asked = out->size == 0 ? first_size : out->size;
  if (asked < first_size) return false;
  const size_t filled = asked < sizeof(T) ? asked : sizeof(T);
  std::memcpy(static_cast<void*>(out), &full, filled);
  out->size = static_cast<decltype(out->size)>(filled);
  return true;
}

}  // namespace qm
