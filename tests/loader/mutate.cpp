// mutate.cpp: the mutations of mutate.h and the payload measure.
#include "tests/loader/mutate.h"

#include "music/module.h"

using namespace qm;

namespace {

const uint8_t interesting_bytes[] = {0x00, 0x01, 0x7F, 0x80, 0x81, 0xFE, 0xFF, 0x10, 0x20, 0x40, 0x61};

size_t position(const std::vector<uint8_t>& data, MutationRng& rng) {
  if (data.empty()) return 0;
  size_t limit = rng.below(4) == 0 || data.size() <= 1024 ? data.size() : 1024;
  return rng.below(limit);
}

void mutate_once(std::vector<uint8_t>& d, MutationRng& rng) {
  switch (rng.below(7)) {
    case 0: // bit flip
    case 1:
      if (!d.empty()) d[position(d, rng)] ^= static_cast<uint8_t>(1u << rng.below(8));
      break;
    case 2: // an interesting byte
      if (!d.empty()) d[position(d, rng)] = interesting_bytes[rng.below(sizeof interesting_bytes)];
      break;
    case 3: // a 16- or 32-bit field set to an extreme
      if (d.size() >= 4) {
        size_t at = position(d, rng);
        if (at + 4 > d.size()) at = d.size() - 4;
        uint32_t v = rng.below(2) ? 0xFFFFFFFFu : static_cast<uint32_t>(rng.next());
        for (size_t k = 0; k < (rng.below(2) ? 2u : 4u); ++k) d[at + k] = static_cast<uint8_t>(v >> (8 * k));
      }
      break;
    case 4: // truncation
      d.resize(rng.below(d.size() + 1));
      break;
    case 5: { // inserted bytes
      size_t at = rng.below(d.size() + 1);
      size_t n = 1 + rng.below(16);
      std::vector<uint8_t> run(n);
      for (uint8_t& b : run) b = static_cast<uint8_t>(rng.next());
      d.insert(d.begin() + static_cast<std::ptrdiff_t>(at), run.begin(), run.end());
      break;
    }
    default: { // removed bytes
      if (d.empty()) break;
      size_t at = rng.below(d.size());
      size_t n = 1 + rng.below(16);
      if (n > d.size() - at) n = d.size() - at;
      d.erase(d.begin() + static_cast<std::ptrdiff_t>(at), d.begin() + static_cast<std::ptrdiff_t>(at + n));
      break;
    }
  }
}

} // namespace

std::vector<uint8_t> mutate(const std::vector<uint8_t>& base, MutationRng& rng) {
  std::vector<uint8_t> d = base;
  size_t count = 1 + rng.below(4);
  for (size_t i = 0; i < count; ++i) mutate_once(d, rng);
  return d;
}

size_t module_payload_bytes(const Module* m) {
  size_t bytes = 0;
  for (int i = 0; i < m->pattern_count; ++i)
    bytes += static_cast<size_t>(m->patterns[i].row_count) * m->channel_count * sizeof(Cell);
  for (int i = 0; i < m->instrument_count; ++i)
    for (int j = 0; j < m->instruments[i].sample_count; ++j)
      bytes += static_cast<size_t>(m->instruments[i].samples[j]->length) * sizeof(int16_t);
  return bytes;
}
