// seek_bench: the processor time of a seek against that of rendering, on
// the first 3 minutes of each song played without end at 44,100 Hz: a render
// of the 3 minutes (16-bit, whole blocks a call), a seek to their last frame
// (qm_player_seek_frame on a fresh player, which mixes one block), a seek
// to the last row that starts in them (qm_player_seek, which first finds
// the row) and a measure of them (qm_song_measure_ex). Each figure is the
// least of RUNS runs (thread CPU time); "seek/render" is the seek's share.
// Usage: seek_bench [SONG.xm...]   (default: data/typing.xm and the corpus
// songs; env RUNS, default 5)
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "quillmere/music.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr uint64_t LENGTH = 180 * RATE;  // 3 minutes

double cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

qm_player* forever(const qm_song* song) {
  qm_player* p = nullptr;
  if (qm_player_create(song, RATE, &p) != QM_OK) std::exit(1);
  qm_player_set_repeat_count(p, -1);
  return p;
}

// The last row that starts before LENGTH, found by one measured render.
struct LastRow {
  int32_t order = 0, row = 0;
};
void note_row(void* user, const qm_row_event* e) {
  if (e->frame < LENGTH && e->pass == 0) *static_cast<LastRow*>(user) = LastRow{e->order, e->row};
}

double time_render(const qm_song* song, LastRow* last) {
  qm_player* p = forever(song);
  if (last != nullptr) qm_player_set_row_callback(p, note_row, last);
  const int32_t chunk = 4 * qm_player_block_frames(p);
  std::vector<int16_t> pcm(2 * static_cast<size_t>(chunk));
  const double start = cpu_ms();
  for (uint64_t done = 0; done < LENGTH;) {
    const auto n = static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(chunk), LENGTH - done));
    done += static_cast<uint64_t>(qm_player_render_s16(p, pcm.data(), n));
  }
  const double used = cpu_ms() - start;
  qm_player_free(p);
  return used;
}

template <typename Seek>
double time_seek(const qm_song* song, Seek seek) {
  qm_player* p = forever(song);
  const double start = cpu_ms();
  seek(p);
  const double used = cpu_ms() - start;
  qm_player_free(p);
  return used;
}

double time_measure(const qm_song* song) {
  qm_measure m{};
  const double start = cpu_ms();
  qm_song_measure_ex(song, RATE, 0, -1, LENGTH, 0, &m);
  return cpu_ms() - start;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> songs;
  for (int i = 1; i < argc; ++i) songs.emplace_back(argv[i]);
  if (songs.empty()) {
    songs.push_back(std::string(QM_SOURCE_DIR) + "/data/typing.xm");
    std::error_code error;
    const auto corpus = std::filesystem::path(QM_SOURCE_DIR) / "../shared/corpus/xm/songs";
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(corpus, error)) found.push_back(e.path().string());
    std::sort(found.begin(), found.end());
    songs.insert(songs.end(), found.begin(), found.end());
  }
  const char* runs_text = std::getenv("RUNS");
  const int runs = runs_text != nullptr && std::atoi(runs_text) > 0 ? std::atoi(runs_text) : 5;
  std::printf("%-28s %10s %10s %8s %10s %8s %10s\n", "song (3 min)", "render ms", "seek ms", "/render", "row ms",
              "/render", "measure ms");
  for (const std::string& path : songs) {
    qm_song* song = nullptr;
    if (qm_song_load_file(path.c_str(), &song) != QM_OK) {
      std::fprintf(stderr, "seek_bench: %s: does not load\n", path.c_str());
      return 1;
    }
    LastRow last;
    double render = 1e300, seek = 1e300, row = 1e300, measure = 1e300;
    for (int r = 0; r < runs; ++r) {
      render = std::min(render, time_render(song, r == 0 ? &last : nullptr));
      seek = std::min(seek, time_seek(song, [](qm_player* p) { qm_player_seek_frame(p, LENGTH - 1); }));
      row = std::min(row, time_seek(song, [&](qm_player* p) { qm_player_seek(p, last.order, last.row); }));
      measure = std::min(measure, time_measure(song));
    }
    std::printf("%-28s %10.1f %10.1f %8.3f %10.1f %8.3f %10.1f\n",
                std::filesystem::path(path).filename().string().c_str(), render, seek, seek / render, row,
                row / render, measure);
    qm_song_free(song);
  }
  return 0;
}
