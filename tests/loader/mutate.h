// mutate.h: deterministic byte mutations (bit flips, interesting bytes,
// truncation, inserted and removed runs) for the loader's robustness loops.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {
struct Module;
}  // namespace qm

// splitmix64: the same sequence on every platform and standard library.
struct MutationRng {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(next() % n); }
};

// One to four mutations of base. Positions favour the first 1024 bytes, where
// the headers and most structure of a module lie.
std::vector<uint8_t> mutate(const std::vector<uint8_t>& base, MutationRng& rng);

// Bytes a loaded module holds in cells and sample frames: what loading made
// the process allocate beyond the fixed-size records.
size_t module_payload_bytes(const qm::Module* module);
