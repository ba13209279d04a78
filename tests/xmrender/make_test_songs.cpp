// make_test_songs: writes the small songs the xmrender tests need into a
// folder: silent.xm (rows but no note: its render is all zeros) and
// named.xm (a tone, names with quotes and backslashes, an unused pattern,
// a pattern played at two order positions, one instrument with two samples).
// Usage: make_test_songs DIR; status 1 when a file cannot be written.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/xm_writer.h"

using namespace qm;

namespace {

constexpr int TONE_FRAMES = 64;
constexpr double TWO_PI = 6.283185307179586;

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

XmSample tone(const std::string& name) {
  XmSample s;
  s.name = name;
  s.type = XM_SAMPLE_FORWARD;
  for (int i = 0; i < TONE_FRAMES; ++i) s.pcm.push_back(static_cast<int32_t>(100 * std::sin(TWO_PI * i / TONE_FRAMES)));
  s.loop_length = TONE_FRAMES;
  return s;
}

XmFile silent_song() {
  XmFile f;
  f.song_name = "silence";
  f.channel_count = 2;
  XmPattern p;
  p.rows = 16;
  f.patterns.push_back(p);
  XmInstrument in;
  in.name = "never played";
  in.samples.push_back(tone("quiet"));
  f.instruments.push_back(in);
  return f;
}

XmFile named_song() {
  XmFile f;
  f.song_name = "say \"hi\" \\ now";
  f.tracker_name = "test tracker";
  f.channel_count = 2;
  f.song_length = 3;
  f.restart_position = 1;
  f.order_table[0] = 0;
  f.order_table[1] = 2;
  f.order_table[2] = 0;
  for (uint16_t rows : {8, 4, 8}) {
    XmPattern p;
    p.rows = rows;
    p.cells.resize(static_cast<size_t>(rows) * f.channel_count);
    f.patterns.push_back(p);
  }
  xm_cell(f.patterns[0], f.channel_count, 0, 0) = Cell{49, 1, 0, 0, 0};
  xm_cell(f.patterns[2], f.channel_count, 0, 1) = Cell{61, 1, 0, 0, 0};
  XmInstrument in;
  in.name = "lead \"A\"";
  in.samples.push_back(tone("sine\\low"));
  in.samples.push_back(tone("sine high"));
  f.instruments.push_back(in);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_test_songs DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!write_file(dir + "/silent.xm", write_xm(silent_song())) ||
      !write_file(dir + "/named.xm", write_xm(named_song()))) {
    std::perror("make_test_songs");
    return 1;
  }
  return 0;
}
