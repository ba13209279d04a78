// loader_test_util.h: small helpers shared by the loader tests.
#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "runtime/show_music.h"
#include "music/song_load.h"
#include "tests/support/xm_writer.h"
#include "tests/support/show_files.h"

struct ModuleFree {
  void operator()(qm::Module* m) const { qm::free_module(m); }
};
using ModulePtr = std::unique_ptr<qm::Module, ModuleFree>;

inline ModulePtr load(const XmFile& f) { return ModulePtr(load_module_from_memory(write_xm(f))); }
inline ModulePtr load(const std::vector<uint8_t>& bytes) { return ModulePtr(load_module_from_memory(bytes)); }

// The outcome of one load_song_memory.
struct LoadResult {
  qm_status status;
  std::string detail;
  ModulePtr song;
};
inline LoadResult load_result(const std::vector<uint8_t>& bytes) {
  qm::Module* song = nullptr;
  qm_load_error error{};
  qm_status status = qm::load_song_memory(bytes.data(), bytes.size(), &song, &error);
  return LoadResult{status, error.detail, ModulePtr(song)};
}

// The shared corpus of real modules; tests that use it skip when it is absent.
inline const std::filesystem::path corpus_dir = std::filesystem::path(QM_SOURCE_DIR "/../shared/corpus/xm");
inline const std::string typing_xm_path = QM_SOURCE_DIR "/data/typing.xm";

inline std::vector<uint8_t> read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An instrument with one sample of the given plain values.
inline XmInstrument one_sample_instrument(std::vector<int32_t> pcm, uint8_t type = 0) {
  XmInstrument ins;
  XmSample s;
  s.pcm = std::move(pcm);
  s.type = type;
  ins.samples.push_back(s);
  return ins;
}

inline const qm::Cell& cell_at(const qm::Module* m, int pattern, int row, int channel) {
  return m->patterns[pattern].cells[row * m->channel_count + channel];
}
