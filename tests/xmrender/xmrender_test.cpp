// Unit tests of xmrender's parts that a command line cannot reach exactly:
// the sample conversions (the 16-bit one against the library's own output),
// the names of formats and the encoder's WAV headers (the JSON writer is
// the tools' kit's, tested in tests/toolkit).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "quillmere/music.h"
#include "tools/xmrender/encoder.h"
#include "tools/xmrender/formats.h"
#include "tools/xmrender/output_file.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t CHUNK = 4096;

uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Renders typing.xm once as 16-bit and once as floats converted here; both
// must agree on every sample, also with a gain that drives the mix far
// past full scale (the clipping path).
void expect_conversion_matches_library(double gain_db) {
  qm_song* song = nullptr;
  ASSERT_EQ(qm_song_load_file(QM_SOURCE_DIR "/data/typing.xm", &song), QM_OK);
  qm_player *ints = nullptr, *floats = nullptr;
  ASSERT_EQ(qm_player_create(song, RATE, &ints), QM_OK);
  ASSERT_EQ(qm_player_create(song, RATE, &floats), QM_OK);
  qm_player_set_gain(ints, gain_db);
  qm_player_set_gain(floats, gain_db);
  std::vector<int16_t> a(2 * CHUNK);
  std::vector<float> f(2 * CHUNK);
  int64_t clipped = 0, frames = 0;
  for (int32_t n; (n = qm_player_render_s16(ints, a.data(), CHUNK)) > 0; frames += n) {
    ASSERT_EQ(qm_player_render_f32(floats, f.data(), CHUNK), n);
    for (int32_t i = 0; i < 2 * n; ++i) {
      ASSERT_EQ(mix_to_s16(f[i]), a[i]) << "frame " << frames + i / 2 << " value " << f[i];
      clipped += std::fabs(f[i]) > 32767.0f;
    }
  }
  EXPECT_GT(frames, 0);
  if (gain_db > 0) {
    EXPECT_GT(clipped, 0) << "the gain did not reach the clipping path";
  }
  qm_player_free(ints);
  qm_player_free(floats);
  qm_song_free(song);
}

TEST(SampleConversion, SixteenBitIsTheLibrarysOwn) {
  expect_conversion_matches_library(0.0);
  expect_conversion_matches_library(24.0);
}

TEST(SampleConversion, RoundsTiesToEvenAndClips) {
  EXPECT_EQ(mix_to_s16(0.5), 0);
  EXPECT_EQ(mix_to_s16(1.5), 2);
  EXPECT_EQ(mix_to_s16(-2.5), -2);
  EXPECT_EQ(mix_to_s16(32767.5), 32767);
  EXPECT_EQ(mix_to_s16(-40000.0), -32768);
  EXPECT_EQ(mix_to_s16(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(mix_to_s24(1.5), 384);
  EXPECT_EQ(mix_to_s24(0.5 / 256), 0);
  EXPECT_EQ(mix_to_s24(1.5 / 256), 2);
  EXPECT_EQ(mix_to_s24(32767.999), 8388607);
  EXPECT_EQ(mix_to_s24(-32768.0), -8388608);
  EXPECT_EQ(mix_to_s24(-1e9), -8388608);
  EXPECT_EQ(mix_to_f32(-16384.0), -0.5f);
  EXPECT_EQ(mix_to_f32(65536.0), 2.0f);  // floats are not clipped
}

TEST(SampleConversion, ClipsAreThoseTheRoundingPutsOutOfRange) {
  EXPECT_FALSE(mix_clips(32767.4, SampleType::S16));
  EXPECT_TRUE(mix_clips(32767.5, SampleType::S16)) << "ties to even: 32768, one past the top";
  EXPECT_FALSE(mix_clips(-32768.5, SampleType::S16)) << "ties to even: -32768";
  EXPECT_TRUE(mix_clips(-32769.0, SampleType::S16));
  EXPECT_FALSE(mix_clips(32767.99, SampleType::S24));
  EXPECT_TRUE(mix_clips(32768.0, SampleType::S24));
  EXPECT_FALSE(mix_clips(-32768.0, SampleType::S24));
  EXPECT_TRUE(mix_clips(-32768.01, SampleType::S24));
  EXPECT_FALSE(mix_clips(1e9, SampleType::F32));
}

TEST(Formats, NamesAndExtensions) {
  Format f;
  for (const char* name : {"wav", "wav24", "wav-f32", "raw", "raw24", "raw-f32", "flac", "flac24"}) {
    ASSERT_TRUE(format_from_name(name, &f)) << name;
    EXPECT_STREQ(format_name(f), name);
  }
  EXPECT_FALSE(format_from_name("flac-f32", &f));
  ASSERT_TRUE(format_from_name("FLAC24", &f)) << "names in any case, as extensions";
  EXPECT_STREQ(format_name(f), "flac24");
  Container c{};
  EXPECT_TRUE(container_from_extension("out/Song.WAV", &c));
  EXPECT_EQ(c, Container::WAV);
  EXPECT_TRUE(container_from_extension("a.b.pcm", &c));
  EXPECT_EQ(c, Container::RAW);
  EXPECT_TRUE(container_from_extension("x.flac", &c));
  EXPECT_EQ(c, Container::FLAC);
  EXPECT_FALSE(container_from_extension("folder.wav/song", &c));
  EXPECT_FALSE(container_from_extension("song.mp3", &c));
  EXPECT_FALSE(container_from_extension("song", &c));
}

// A temporary file already unlinked: gone once closed.
int unlinked_temporary_file() {
  char path[] = "/tmp/xmrender-test.XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  unlink(path);
  return fd;
}

// Every byte of the file fd, which it closes.
std::vector<unsigned char> bytes_and_close(int fd) {
  std::vector<unsigned char> bytes(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
  EXPECT_EQ(pread(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  close(fd);
  return bytes;
}

// Encodes `frames` silent frames of format into a temporary file and
// returns its bytes.
std::vector<unsigned char> encode_to_file(Format format, int channels, uint64_t announced, int32_t frames) {
  const int fd = unlinked_temporary_file();
  Sink sink;
  sink_attach(&sink, fd, true);
  Encoder e;
  std::string why;
  EXPECT_TRUE(encoder_begin(&e, &sink, StreamLayout{format, RATE, channels, announced}, &why)) << why;
  const std::vector<float> values(static_cast<size_t>(frames) * static_cast<size_t>(channels), 0.0f);
  EXPECT_TRUE(encoder_write_mix(&e, values.data(), frames));
  EXPECT_TRUE(encoder_finish(&e, &why)) << why;
  EXPECT_TRUE(sink_flush(&sink));
  EXPECT_FALSE(e.audible);
  return bytes_and_close(fd);
}

TEST(Encoder, WavHeadersAgreeWithTheFile) {
  const Format kinds[] = {{Container::WAV, SampleType::S16}, {Container::WAV, SampleType::S24},
                          {Container::WAV, SampleType::F32}};
  for (const Format& format : kinds) {
    for (int channels : {1, 2}) {
      const int32_t frames = 1000;
      // Announced 0: the header is put right at the end.
      const std::vector<unsigned char> b = encode_to_file(format, channels, 0, frames);
      const size_t data_bytes = static_cast<size_t>(frames) * channels * sample_bytes(format.type);
      ASSERT_GT(b.size(), data_bytes);
      const size_t header = b.size() - data_bytes;
      EXPECT_EQ(header, format.type == SampleType::F32 ? 80u : format.type == SampleType::S24 ? 68u : 44u);
      EXPECT_EQ(le32(b, 4), b.size() - 8) << format_name(format);
      EXPECT_EQ(std::memcmp(&b[header - 8], "data", 4), 0);
      EXPECT_EQ(le32(b, header - 4), data_bytes);
      EXPECT_EQ(b[22], channels);
      EXPECT_EQ(le32(b, 24), static_cast<uint32_t>(RATE));
      EXPECT_EQ(b[34], sample_bytes(format.type) * 8);
      if (format.type == SampleType::F32) {
        EXPECT_EQ(le32(b, 68), static_cast<uint32_t>(frames));  // the fact chunk's frame count
      }
    }
  }
}

// Small writes are gathered, large ones go out at once: either way the
// file holds every byte in order and the position counts them all.
TEST(Sink, WritesOfEverySizeLandInOrderAndAreCounted) {
  const int fd = unlinked_temporary_file();
  ASSERT_GE(fd, 0);
  Sink sink;
  sink_attach(&sink, fd, true);
  std::vector<unsigned char> expected;
  for (size_t size : {size_t{44}, size_t{200000}, size_t{3}, size_t{70000}, size_t{65536}, size_t{1}}) {
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(expected.size() + i * 7);
    ASSERT_TRUE(sink_write(&sink, bytes.data(), size));
    expected.insert(expected.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(sink.position, expected.size());
  }
  ASSERT_TRUE(sink_flush(&sink));
  EXPECT_EQ(bytes_and_close(fd), expected);
}

TEST(Encoder, StreamedWavRefusesAWrongAnnouncedLength) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Sink sink;
  sink_attach(&sink, fds[1], false);
  Encoder e;
  std::string why;
  ASSERT_TRUE(encoder_begin(&e, &sink, StreamLayout{Format{}, RATE, 2, 10}, &why));
  const std::vector<int16_t> samples(2 * 9, 1);
  EXPECT_TRUE(encoder_write_s16(&e, samples.data(), 9));
  EXPECT_FALSE(encoder_finish(&e, &why));
  EXPECT_NE(why.find("announced 10"), std::string::npos) << why;
  close(fds[0]);
  close(fds[1]);
}

TEST(Encoder, RefusesAWavBeyondFourGigabytes) {
  Sink sink;
  Encoder e;
  std::string why;
  const uint64_t hours = 7;  // 7 h of 16-bit stereo at 44.1 kHz: 4.4 GB
  EXPECT_FALSE(encoder_begin(&e, &sink, StreamLayout{Format{}, RATE, 2, hours * 3600 * RATE}, &why));
  EXPECT_NE(why.find("too long for a WAV file"), std::string::npos) << why;
}

}  // namespace
