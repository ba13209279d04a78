// loader_test_util.h: small helpers shared by the loader tests.
#pragma once
#include <memory>
#include <vector>

#include "music/music.h"
#include "tests/support/xm_writer.h"

struct ModuleFree {
  void operator()(Module* m) const { free_module(m); }
};
using ModulePtr = std::unique_ptr<Module, ModuleFree>;

inline ModulePtr load(const XmFile& f) { return ModulePtr(load_module_from_memory(write_xm(f))); }
inline ModulePtr load(const std::vector<uint8_t>& bytes) { return ModulePtr(load_module_from_memory(bytes)); }

// An instrument with one sample of the given plain values.
inline XmInstrument one_sample_instrument(std::vector<int32_t> pcm, uint8_t type = 0) {
  XmInstrument ins;
  XmSample s;
  s.pcm = std::move(pcm);
  s.type = type;
  ins.samples.push_back(s);
  return ins;
}

inline const Cell& cell_at(const Module* m, int pattern, int row, int channel) {
  return m->patterns[pattern].cells[row * m->channel_count + channel];
}
