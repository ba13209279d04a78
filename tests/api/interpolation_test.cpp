// The interpolation choice of the C API: cubic and sinc reproduce a tone
// more faithfully than the linear default (also through forward and
// ping-pong loops that end a cycle), every render call size and every seek
// gives the same bytes, and the linear default is untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstddef>
#include <vector>

#include "quillmere/music.h"
#include "tests/api/api_songs.h"
#include "tests/support/xm_writer.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr double PI = 3.14159265358979323846;
constexpr int32_t AMPLITUDE = 20000;
constexpr int32_t CYCLE = 8;  // sample frames per cycle of the tone
constexpr size_t AFTER_RAMP = 200;  // output frames after a note's gain ramp is over
constexpr qm_interpolation MODES[] = {QM_INTERPOLATION_LINEAR, QM_INTERPOLATION_CUBIC, QM_INTERPOLATION_SINC8};

// One channel, one note held for 64 rows, of a 16-bit sample of these
// frames, with a forward or ping-pong loop over all of them or no loop.
std::vector<uint8_t> tone_song(const std::vector<int32_t>& pcm, uint8_t loop, int8_t relative_note) {
  XmFile f;
  f.channel_count = 1;
  XmPattern p;
  p.rows = 64;
  p.cells.resize(64);
  xm_cell(p, 1, 0, 0) = qm::Cell{49, 1, 0, 0, 0};
  f.patterns.push_back(p);
  XmInstrument in;
  XmSample s;
  s.type = XM_SAMPLE_16BIT | loop;
  s.relative_note = relative_note;
  s.pcm = pcm;
  if (loop != 0) s.loop_length = static_cast<uint32_t>(2 * pcm.size());
  in.samples.push_back(s);
  f.instruments.push_back(in);
  return write_xm(f);
}

// `cycles` cycles of a sine of CYCLE frames each.
std::vector<int32_t> sine(int cycles) {
  std::vector<int32_t> pcm;
  for (int k = 0; k < cycles * CYCLE; ++k) pcm.push_back(std::lround(AMPLITUDE * std::sin(2 * PI * k / CYCLE)));
  return pcm;
}

// The left channel of `frames` frames of song with the mode, as floats.
std::vector<double> left_of(const qm_song* song, qm_interpolation mode, int32_t frames) {
  qm_player* p = nullptr;
  EXPECT_EQ(qm_player_create(song, RATE, &p), QM_OK);
  EXPECT_EQ(qm_player_set_interpolation(p, mode), QM_OK);
  std::vector<float> out(2 * static_cast<size_t>(frames));
  EXPECT_EQ(qm_player_render_f32(p, out.data(), frames), frames);
  qm_player_free(p);
  std::vector<double> left(static_cast<size_t>(frames));
  for (size_t i = 0; i < left.size(); ++i) left[i] = out[2 * i];
  return left;
}

// How far x[from..] lies from the nearest pure sinusoid, as the RMS of the
// difference over the sinusoid's amplitude. The frequency comes from the
// upward zero crossings; phase, amplitude and offset from least squares.
double distortion(const std::vector<double>& x, size_t from) {
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = from + 1; i < x.size(); ++i) {
    if (x[i - 1] < 0 && x[i] >= 0) {
      const double at = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
      if (first < 0) first = at;
      last = at;
      ++crossings;
    }
  }
  if (crossings < 3) return 1e9;
  const double w = 2 * PI * (crossings - 1) / (last - first);
  double m[3][4] = {};  // normal equations for sin, cos, 1
  for (size_t i = from; i < x.size(); ++i) {
    const double b[3] = {std::sin(w * i), std::cos(w * i), 1.0};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) m[r][c] += b[r] * b[c];
      m[r][3] += b[r] * x[i];
    }
  }
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r)
      if (r != c) {
        const double f = m[r][c] / m[c][c];
        for (int k = 0; k < 4; ++k) m[r][k] -= f * m[c][k];
      }
  const double a = m[0][3] / m[0][0], b = m[1][3] / m[1][1], d = m[2][3] / m[2][2];
  double error = 0;
  for (size_t i = from; i < x.size(); ++i) {
    const double e = x[i] - (a * std::sin(w * i) + b * std::cos(w * i) + d);
    error += e * e;
  }
  return std::sqrt(error / static_cast<double>(x.size() - from)) / std::hypot(a, b);
}

TEST(Interpolation, CubicAndSincFollowAToneCloserThanLinear) {
  for (int8_t relative : {0, 19}) {  // steps of about 0.19 and 0.57 frames
    SCOPED_TRACE(testing::Message() << "relative note " << int{relative});
    SongHandle song = load_bytes(tone_song(sine(2048), 0, relative));
    ASSERT_TRUE(song);
    double d[3];
    for (int m = 0; m < 3; ++m) d[m] = distortion(left_of(song.get(), MODES[m], 12000), 2000);
    EXPECT_GT(d[0], 0.01);      // linear: over 1 % off the sine at 8 frames a cycle
    EXPECT_LT(d[1], d[0] / 2);  // cubic: well under linear's
    EXPECT_LT(d[2], d[1] / 2);  // sinc: well under cubic's
    EXPECT_LT(d[2], 0.003);
  }
}

// A loop sounds as the sample it stands for unrolled: one cycle on a
// forward loop as the long sine (to the bit once the note's gain ramp is
// over: a loop point splits the ramp, and each piece starts from the gain
// as stored; the positions are the same),
// a ping-pong loop as its frames there and back (to the rounding of the
// kernel's weights: the reflected positions read them mirrored).
TEST(Interpolation, LoopsReadTheFramesPlaybackReaches) {
  std::vector<int32_t> half;  // an uneven shape, so a wrong turn shows
  for (int k = 0; k < CYCLE; ++k) half.push_back(std::lround(AMPLITUDE * std::cos(PI * k * k / (CYCLE * CYCLE))));
  std::vector<int32_t> there_and_back;
  while (there_and_back.size() < 4096) {
    for (int k = 0; k < CYCLE; ++k) there_and_back.push_back(half[k]);
    there_and_back.push_back(half[CYCLE - 1]);  // the turn at the end repeats the last frame
    for (int k = CYCLE - 1; k > 0; --k) there_and_back.push_back(half[k]);
  }
  for (int8_t relative : {0, 19}) {
    SongHandle cycle = load_bytes(tone_song(sine(1), XM_SAMPLE_FORWARD, relative));
    SongHandle sine_long = load_bytes(tone_song(sine(2048), 0, relative));
    SongHandle pingpong = load_bytes(tone_song(half, XM_SAMPLE_PINGPONG, relative));
    SongHandle unrolled = load_bytes(tone_song(there_and_back, 0, relative));
    ASSERT_TRUE(cycle && sine_long && pingpong && unrolled);
    for (qm_interpolation mode : MODES) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", relative note " << int{relative});
      const std::vector<double> c = left_of(cycle.get(), mode, 6000), l = left_of(sine_long.get(), mode, 6000);
      EXPECT_TRUE(std::equal(c.begin() + AFTER_RAMP, c.end(), l.begin() + AFTER_RAMP));
      const std::vector<double> a = left_of(pingpong.get(), mode, 6000), b = left_of(unrolled.get(), mode, 6000);
      double most = 0;
      for (size_t i = AFTER_RAMP; i < a.size(); ++i) most = std::max(most, std::fabs(a[i] - b[i]));
      EXPECT_LT(most, AMPLITUDE / 2000.0);
    }
  }
}

TEST(Interpolation, CallSizesAndSeeksGiveTheSameBytes) {
  SongHandle tone = load_bytes(tone_song(sine(1), XM_SAMPLE_PINGPONG, 5));
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_TRUE(tone && song);
  for (const qm_song* s : {tone.get(), song.get()}) {
    for (qm_interpolation mode : {QM_INTERPOLATION_CUBIC, QM_INTERPOLATION_SINC8}) {
      const int32_t frames = 3 * RATE;
      qm_player* p = nullptr;
      ASSERT_EQ(qm_player_create(s, RATE, &p), QM_OK);
      qm_player_set_interpolation(p, mode);
      std::vector<int16_t> whole(2 * static_cast<size_t>(frames));
      ASSERT_EQ(qm_player_render_s16(p, whole.data(), frames), frames);
      for (int32_t chunk : {1, 333, 4096}) {
        qm_player_restart(p, 0);
        std::vector<int16_t> pieces(whole.size());
        for (int32_t done = 0; done < frames; done += chunk) {
          const int32_t ask = std::min(chunk, frames - done);
          ASSERT_EQ(qm_player_render_s16(p, pieces.data() + 2 * done, ask), ask);
        }
        EXPECT_EQ(pieces, whole) << "calls of " << chunk;
      }
      for (uint64_t at : {uint64_t{1000}, uint64_t{50001}, uint64_t{2 * RATE + 17}}) {
        ASSERT_EQ(qm_player_seek_frame(p, at), QM_OK);
        std::vector<int16_t> rest(2 * (frames - at));
        ASSERT_EQ(qm_player_render_s16(p, rest.data(), frames - static_cast<int32_t>(at)), frames - static_cast<int32_t>(at));
        EXPECT_TRUE(std::equal(rest.begin(), rest.end(), whole.begin() + 2 * at)) << "seek to " << at;
      }
      qm_player_free(p);
    }
  }
}

TEST(Interpolation, LinearIsTheDefaultAndBadValuesChangeNothing) {
  SongHandle song = load_bytes(tone_song(sine(1), XM_SAMPLE_FORWARD, 0));
  ASSERT_TRUE(song);
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  EXPECT_EQ(qm_player_get_interpolation(p), QM_INTERPOLATION_LINEAR);
  EXPECT_EQ(qm_player_set_interpolation(p, QM_INTERPOLATION_SINC8), QM_OK);
  EXPECT_EQ(qm_player_set_interpolation(p, static_cast<qm_interpolation>(3)), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_get_interpolation(p), QM_INTERPOLATION_SINC8);
  EXPECT_EQ(qm_player_set_interpolation(nullptr, QM_INTERPOLATION_CUBIC), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_get_interpolation(nullptr), QM_INTERPOLATION_LINEAR);
  qm_player_free(p);
  // A player set to linear gives the default's bytes; the others differ.
  const std::vector<double> plain = left_of(song.get(), QM_INTERPOLATION_LINEAR, 4000);
  qm_player* q = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &q), QM_OK);
  std::vector<float> out(2 * 4000);
  qm_player_render_f32(q, out.data(), 4000);
  qm_player_free(q);
  for (size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(plain[i], out[2 * i]) << i;
  EXPECT_NE(left_of(song.get(), QM_INTERPOLATION_CUBIC, 4000), plain);
  EXPECT_NE(left_of(song.get(), QM_INTERPOLATION_SINC8, 4000), plain);
}

}  // namespace
