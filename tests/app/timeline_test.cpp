// timeline_test.cpp: what the timeline draws and cues at the edges of its
// windows, with small flat-coloured pictures placed so the checked pixels do
// not overlap, and that every frame depends on its time alone. The frame
// starts filled with a grey backdrop, so that every pixel a window writes
// (or leaves alone) can be seen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/timeline.h"

namespace {

constexpr uint32_t BACKDROP = 0x808080;
constexpr uint32_t KANJI = 0x208040;   // blue 0x40 masks the fade, green 0x80 the alpha
constexpr uint32_t KANA = 0x00C000;
constexpr uint32_t BRELL = 0xC00000;
constexpr uint32_t ITSADOT = 0x111111;
constexpr uint32_t BLUEDOT = 0x222222;
constexpr uint32_t FIN = 0x333333;
constexpr uint32_t PROUDLY = 0x444444;
constexpr uint32_t VESSA = 0x555555;

// One channel pair of the blend, written out from its definition.
uint32_t mix_channel(uint32_t d, uint32_t s, uint32_t a) {
  const uint32_t v = ((d * (255 - a)) >> 8) + ((s * a) >> 8);
  return v > 255 ? 255 : v;
}
uint32_t mix(uint32_t d, uint32_t s, uint32_t a) {
  return mix_channel(d >> 16 & 255, s >> 16 & 255, a) << 16 | mix_channel(d >> 8 & 255, s >> 8 & 255, a) << 8 |
         mix_channel(d & 255, s & 255, a);
}

void flat(Image& image, int w, int h, uint32_t colour) {
  resize(image, w, h);
  fill(image, colour);
}

// qv pixel (k, j): red k + 1 (tells the columns apart), green 0xFF, blue j.
uint32_t qv_pixel(int k, int j) { return static_cast<uint32_t>((k + 1) << 16 | 0xFF00 | j); }

// Small pictures of the show, as the tests place them.
void make_pictures(Timeline& tl) {
    flat(tl.kanji, 100, 100, KANJI);  // at (100, 100)
    flat(tl.kana, 20, 20, KANA);      // at (35, 260)
    flat(tl.brell, 100, 40, BRELL);   // at (105, 260)
    resize(tl.qv, 40, 20);            // at (108, 270)
    for (int j = 0; j < 20; ++j)
      for (int k = 0; k < 40; ++k) tl.qv.pixels[j * 40 + k] = qv_pixel(k, j);
    resize(tl.slide_buffer, 40, 20);
    flat(tl.itsadot, 10, 10, ITSADOT); // at (190, 10)
    flat(tl.bluedot, 10, 10, BLUEDOT); // at (190, 235)
    flat(tl.fin, 30, 30, FIN);         // at (120, 170)
    flat(tl.proudly, 50, 50, PROUDLY); // at (120, 170) of its scene
    flat(tl.vessa, 20, 20, VESSA);     // at (150, 210)
}

class TimelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    make_pictures(tl);
    resize(frame, FRAME_WIDTH, FRAME_HEIGHT);
  }

  // Draws the frame for t over the backdrop.
  FrameCues draw(int32_t t) {
    fill(frame, BACKDROP);
    return timeline_draw(tl, frame, t);
  }
  uint32_t at(int x, int y) const { return frame.pixels[y * FRAME_WIDTH + x]; }

  Timeline tl;
  Image frame;
};

TEST_F(TimelineTest, KanjiFadeRevealsMaskBitsThenTurnsIntoAlphaBlit) {
  // Level t >> 2 is ANDed with the mask's blue (0x40): bit 6 shows at levels
  // 64..127, hides at 128..191 (0xBF & 0x40 = 0) and shows again at 255.
  const struct { int32_t t; uint32_t a; } cases[] = {{0, 0}, {252, 0}, {256, 0x40}, {764, 0}, {1023, 0x40}};
  for (const auto& c : cases) {
    draw(c.t);
    EXPECT_EQ(at(150, 150), mix(BACKDROP, KANJI, c.a)) << "t=" << c.t;
    EXPECT_EQ(at(99, 150), BACKDROP) << "t=" << c.t;
  }
  draw(1024); // alpha from the green channel from here on
  EXPECT_EQ(at(150, 150), mix(BACKDROP, KANJI, 0x80));
}

TEST_F(TimelineTest, LogoWipeUncoversColumnsInPlace) {
  draw(1024); // l = 640: the scratch picture lies wholly off the frame
  EXPECT_EQ(at(108, 270), BACKDROP);
  EXPECT_EQ(at(147, 289), BACKDROP);

  draw(3040); // l = 10: columns 0..29 at 108..137, black scratch at 98..107
  EXPECT_EQ(at(97, 270), BACKDROP);
  EXPECT_EQ(at(98, 270), 0u);
  EXPECT_EQ(at(107, 289), 0u);
  EXPECT_EQ(at(108, 270), qv_pixel(0, 0));
  EXPECT_EQ(at(137, 275), qv_pixel(29, 5));
  EXPECT_EQ(at(138, 270), BACKDROP);

  for (int32_t t : {3041, 3071}) { // l = 0: the whole logo at 108
    draw(t);
    EXPECT_EQ(at(107, 270), BACKDROP) << t;
    EXPECT_EQ(at(108, 270), qv_pixel(0, 0)) << t;
    EXPECT_EQ(at(147, 289), qv_pixel(39, 19)) << t;
    EXPECT_EQ(at(148, 289), BACKDROP) << t;
    EXPECT_EQ(at(150, 150), mix(BACKDROP, KANJI, 0x80)) << t;
  }
}

TEST_F(TimelineTest, KanaAndBrellFadeInOverWhatLiesUnder) {
  // keep 255 at 3072, 127 at 3584, 0 at 4095; the logo is alpha-blitted on top.
  const struct { int32_t t; uint32_t a; } cases[] = {{3072, 0}, {3584, 128}, {4095, 255}};
  for (const auto& c : cases) {
    draw(c.t);
    EXPECT_EQ(at(40, 265), mix(BACKDROP, KANA, c.a)) << c.t;
    EXPECT_EQ(at(200, 262), mix(BACKDROP, BRELL, c.a)) << c.t;
    EXPECT_EQ(at(110, 275), mix(mix(BACKDROP, BRELL, c.a), qv_pixel(2, 5), 0xFF)) << c.t;
    EXPECT_EQ(at(150, 150), mix(BACKDROP, KANJI, 0x80)) << c.t;
  }
}

TEST_F(TimelineTest, TheMusicCueBelongsToTheTextWindowOnly) {
  for (int32_t t : {0, 4095, 6144, 8192, 30719}) EXPECT_FALSE(draw(t).stop_music) << t;
  for (int32_t t : {4096, 5000, 6143}) {
    const FrameCues cues = draw(t);
    EXPECT_TRUE(cues.stop_music) << t;
    EXPECT_TRUE(cues.show_goes_on) << t;
    EXPECT_EQ(at(40, 265), KANA) << t;
    EXPECT_EQ(at(200, 262), BRELL) << t;
  }
}

TEST_F(TimelineTest, CrossFadeComposesTheScenesOnce) {
  const uint32_t text_kanji = mix(0, KANJI, 0x80);
  ASSERT_FALSE(tl.composed);
  draw(6144); // keep 256 is held at 255
  EXPECT_TRUE(tl.composed);
  EXPECT_EQ(at(150, 150), mix(text_kanji, 0, 0));
  EXPECT_EQ(at(160, 210), 0u);
  EXPECT_EQ(at(40, 265), mix(KANA, 0, 0));

  draw(6153); // keep 254
  EXPECT_EQ(at(150, 150), mix(text_kanji, 0, 1));
  EXPECT_EQ(at(160, 210), mix(0, PROUDLY, 1));
  draw(8185); // keep 0
  EXPECT_EQ(at(150, 150), mix(text_kanji, 0, 255));
  EXPECT_EQ(at(160, 210), mix(0, PROUDLY, 255));

  draw(8192); // the second scene as it is
  EXPECT_EQ(at(160, 210), PROUDLY);
  EXPECT_EQ(at(150, 150), 0u);
  draw(14335); // and the title over it
  EXPECT_EQ(at(125, 175), PROUDLY);
  EXPECT_EQ(at(165, 225), VESSA);
  EXPECT_EQ(at(10, 10), 0u);
}

TEST_F(TimelineTest, TheSecondSceneShowsWithoutAFrameInTheCrossFade) {
  draw(8192);
  EXPECT_EQ(at(160, 210), PROUDLY);
  EXPECT_EQ(at(150, 150), 0u);
  draw(9216);
  EXPECT_EQ(at(125, 175), PROUDLY);
  EXPECT_EQ(at(165, 225), VESSA);
}

// Frames drawn in a shuffled order, on one timeline, equal the same frames
// each drawn first on a timeline of its own.
TEST(TimelinePurity, EveryFrameDependsOnItsTimeAlone) {
  std::vector<int32_t> times;
  for (int32_t t = 0; t <= SHOW_LENGTH_MS; t += 97) times.push_back(t);
  for (int32_t t : {1023, 1024, 3071, 4095, 4096, 6143, 6144, 8191, 8192, 9215, 9216, 14335, 14336, 24575,
                    24576, 30719})
    times.push_back(t);
  std::shuffle(times.begin(), times.end(), std::mt19937(2024));

  Timeline shared;
  make_pictures(shared);
  Image frame, fresh_frame;
  resize(frame, FRAME_WIDTH, FRAME_HEIGHT);
  resize(fresh_frame, FRAME_WIDTH, FRAME_HEIGHT);
  for (int32_t t : times) {
    fill(frame, BACKDROP);
    const FrameCues cues = timeline_draw(shared, frame, t);
    Timeline fresh;
    make_pictures(fresh);
    fill(fresh_frame, BACKDROP);
    const FrameCues fresh_cues = timeline_draw(fresh, fresh_frame, t);
    EXPECT_EQ(cues.show_goes_on, fresh_cues.show_goes_on) << t;
    EXPECT_EQ(cues.stop_music, fresh_cues.stop_music) << t;
    ASSERT_EQ(std::memcmp(frame.pixels, fresh_frame.pixels, frame.count * sizeof(uint32_t)), 0) << "t = " << t;
  }
}

TEST_F(TimelineTest, PointerEndPoints) {
  const PointerLines p0 = pointer_lines(0);
  EXPECT_EQ(p0.from_x, 276);
  EXPECT_EQ(p0.from_y, 192);
  EXPECT_EQ(p0.spoke_x, 296);
  EXPECT_EQ(p0.spoke_y, 192);
  EXPECT_EQ(p0.ahead_x, 280);
  EXPECT_EQ(p0.ahead_y, 195);
  EXPECT_EQ(p0.behind_x, 280);
  EXPECT_EQ(p0.behind_y, 189);
  const PointerLines p1 = pointer_lines(1); // the spoke doubles the truncated values
  EXPECT_EQ(p1.from_x, 275);
  EXPECT_EQ(p1.from_y, 195);
  EXPECT_EQ(p1.spoke_x, 294);
  EXPECT_EQ(p1.spoke_y, 198);
  // The unclipped line drawer relies on every point staying near the centre.
  for (int32_t s = 0; s < 160; ++s) {
    const PointerLines p = pointer_lines(s);
    for (int32_t v : {p.from_x, p.spoke_x, p.ahead_x, p.behind_x}) EXPECT_LE(std::abs(v - 256), 40) << s;
    for (int32_t v : {p.from_y, p.spoke_y, p.ahead_y, p.behind_y}) EXPECT_LE(std::abs(v - 192), 40) << s;
  }
}

TEST_F(TimelineTest, PointerFramesAndDots) {
  draw(14336);
  for (auto [x, y] : {std::pair{256, 191}, {256, 193}, {255, 192}, {257, 192}, {256, 192}}) {
    EXPECT_EQ(at(x, y), 0x0000FFu) << x << "," << y;
  }
  EXPECT_EQ(at(276, 192), 0xFFFFFFu);
  EXPECT_EQ(at(296, 192), 0xFFFFFFu);
  EXPECT_EQ(at(275, 195), BACKDROP);
  draw(14400); // s = 1
  EXPECT_EQ(at(275, 195), 0xFFFFFFu);

  draw(20479);
  EXPECT_EQ(at(190, 10), ITSADOT);
  EXPECT_EQ(at(190, 235), BACKDROP);
  draw(20480);
  EXPECT_EQ(at(190, 10), BACKDROP);
  EXPECT_EQ(at(190, 235), BLUEDOT);
  draw(24575);
  EXPECT_EQ(at(256, 192), 0x0000FFu);
}

TEST_F(TimelineTest, ClosingPictureOnBlackThenTheEnd) {
  for (int32_t t : {24576, 30719}) {
    EXPECT_TRUE(draw(t).show_goes_on);
    EXPECT_EQ(at(120, 170), FIN) << t;
    EXPECT_EQ(at(149, 199), FIN) << t;
    EXPECT_EQ(at(150, 199), 0u) << t;
    EXPECT_EQ(at(0, 0), 0u) << t;
  }
  EXPECT_FALSE(draw(SHOW_LENGTH_MS).show_goes_on);
  EXPECT_EQ(at(0, 0), BACKDROP);
  EXPECT_EQ(at(120, 170), BACKDROP);
}

// Loading stops at the first picture that does not load and names it with
// the folder it was looked for in; the pictures before it are loaded.
TEST(TimelineLoading, NamesTheFirstPictureThatFails) {
  const std::string source = QM_SOURCE_DIR "/data/";
  char pattern[] = "/tmp/qm-timeline-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = std::string(pattern) + "/";
  for (const char* name : {"kanji-rgb.tga", "kana-rgb.tga", "qv-rgb.tga", "brell-rgb.tga", "itsadot.tga",
                           "bluedot.tga", "proudly.tga", "vessa.tga"}) {
    std::filesystem::copy_file(source + name, dir + name);
  }
  std::ofstream(dir + "fin.tga") << std::string("\0\0\3\0\0\0\0\0\0\0\0\0\4\0\4\0\10\0", 18);

  Timeline tl;
  TimelineLoad loaded = timeline_load(tl, dir.c_str());
  EXPECT_EQ(loaded.result, TGA_UNKNOWN_MODE);
  EXPECT_EQ(loaded.path, dir + "fin.tga");
  EXPECT_GT(tl.bluedot.count, 0u); // loaded before fin
  EXPECT_EQ(tl.fin.count, 0u);
  EXPECT_EQ(tl.slide_buffer.width, tl.qv.width);

  std::filesystem::remove(dir + "fin.tga");
  loaded = timeline_load(tl, dir.c_str());
  EXPECT_EQ(loaded.result, TGA_WILL_NOT_OPEN);
  EXPECT_EQ(loaded.path, dir + "fin.tga");
  std::filesystem::copy_file(source + "fin.tga", dir + "fin.tga");
  loaded = timeline_load(tl, dir.c_str());
  EXPECT_EQ(loaded.result, TGA_OK);
  EXPECT_TRUE(loaded.path.empty());
  EXPECT_GT(tl.fin.count, 0u);
  std::filesystem::remove_all(pattern);
}

}  // namespace
