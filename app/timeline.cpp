// timeline.cpp: the show's ten time windows and what each one draws.
// Owns: nothing beyond the Timeline record it is given. Touches: the frame
// and the timeline's scratch pictures. Thread: main thread only.
#include "app/timeline.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "gfx/blit.h"
#include "gfx/tga.h"

namespace {

// One pointer step in radians: the double with bit pattern 0x3FC45F306446F9B4.
// The compiler's builtin, which std::bit_cast wraps: the web build's C++
// library (LLVM 14's) has no std::bit_cast yet.
constexpr double POINTER_STEP = __builtin_bit_cast(double, uint64_t{0x3FC45F306446F9B4});
constexpr int32_t CENTRE_X = 256;
constexpr int32_t CENTRE_Y = 192;
constexpr uint32_t POINTER_CROSS = 0x0000FF; // pure blue
constexpr uint32_t POINTER_LINE = 0xFFFFFF;  // white

// Upper bounds of the windows, in milliseconds; each window starts at the
// previous bound (inclusive) and ends at its own (exclusive).
constexpr int32_t KANJI_FADE_END = 1024;
constexpr int32_t LOGO_WIPE_END = 3072;
constexpr int32_t FADE_IN_END = 4096;
constexpr int32_t TEXT_HOLD_END = 6144;
constexpr int32_t CROSS_FADE_END = 8192;
constexpr int32_t PROUDLY_END = 9216;
constexpr int32_t TITLE_END = 14336;
constexpr int32_t POINTER_END = 24576;
constexpr int32_t DOT_SWAP = 20480;

// The pictures in the order they are loaded; the wipe's scratch picture is
// sized right after qv.
struct PictureFile {
  Image Timeline::*image; // where the picture goes
  const char* name;       // file name in the data folder
};
constexpr PictureFile PICTURES[] = {
    {&Timeline::kanji, "kanji-rgb.tga"}, {&Timeline::kana, "kana-rgb.tga"},
    {&Timeline::qv, "qv-rgb.tga"},       {&Timeline::brell, "brell-rgb.tga"},
    {&Timeline::itsadot, "itsadot.tga"}, {&Timeline::bluedot, "bluedot.tga"},
    {&Timeline::fin, "fin.tga"},         {&Timeline::proudly, "proudly.tga"},
    {&Timeline::vessa, "vessa.tga"},
};
static_assert(sizeof PICTURES / sizeof PICTURES[0] == TIMELINE_PICTURE_COUNT);

// The picture of the 4096..6143 window: kanji, kana, brell and the logo.
void draw_text_picture(Timeline& tl, Image& target) {
  blit_alpha(tl.kanji, target, 100, 100, tl.kanji);
  blit(tl.kana, target, 35, 260);
  blit(tl.brell, target, 105, 260);
  blit_alpha(tl.qv, target, 108, 270, tl.qv);
}

// Composes the two scene pictures of the cross-fade and the second scene,
// unless they already are.
void compose_scenes(Timeline& tl) {
  if (tl.composed) return;
  resize(tl.text_scene, FRAME_WIDTH, FRAME_HEIGHT);
  fill(tl.text_scene, 0);
  draw_text_picture(tl, tl.text_scene);
  resize(tl.proudly_scene, FRAME_WIDTH, FRAME_HEIGHT);
  fill(tl.proudly_scene, 0);
  blit(tl.proudly, tl.proudly_scene, 120, 170);
  tl.composed = true;
}

// The logo stands at (108, 270) while its columns are uncovered from the
// left; l is how far it still sits inside the black scratch picture.
void draw_logo_wipe(Timeline& tl, Image& frame, int32_t t) {
  blit_alpha(tl.kanji, frame, 100, 100, tl.kanji);
  fill(tl.slide_buffer, 0);
  const int32_t l = 10 * ((LOGO_WIPE_END - t) >> 5);
  blit(tl.qv, tl.slide_buffer, l, 0);
  blit(tl.slide_buffer, frame, 108 - l, 270);
}

// kana and brell fade in over what lies under them; keep falls 255 -> 0.
void draw_fade_ins(Timeline& tl, Image& frame, int32_t t) {
  blit_alpha(tl.kanji, frame, 100, 100, tl.kanji);
  const int32_t keep = 255 - ((t >> 2) & 255);
  blit_cross_fade(tl.kana, frame, 35, 260, keep);
  blit_cross_fade(tl.brell, frame, 105, 260, keep);
  blit_alpha(tl.qv, frame, 108, 270, tl.qv);
}

void draw_cross_fade(Timeline& tl, Image& frame, int32_t t) {
  blit(tl.text_scene, frame, 0, 0);
  blit_cross_fade(tl.proudly_scene, frame, 0, 0, std::min(255, (CROSS_FADE_END - t) >> 3));
}

void draw_pointer(Image& frame, int32_t t) {
  const int32_t s = (t - TITLE_END) >> 6;
  const int32_t cross[5][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}, {0, 0}};
  for (const auto& c : cross) {
    frame.pixels[(CENTRE_Y + c[1]) * frame.width + CENTRE_X + c[0]] = POINTER_CROSS;
  }
  const PointerLines p = pointer_lines(s);
  draw_line(frame, p.from_x, p.from_y, p.spoke_x, p.spoke_y, POINTER_LINE);
  draw_line(frame, p.from_x, p.from_y, p.ahead_x, p.ahead_y, POINTER_LINE);
  draw_line(frame, p.from_x, p.from_y, p.behind_x, p.behind_y, POINTER_LINE);
}

}  // namespace

PointerLines pointer_lines(int32_t s) {
  const double a0 = s * POINTER_STEP;
  const double a1 = (s + 1) * POINTER_STEP;
  const double a2 = (s - 1) * POINTER_STEP;
  const auto c0 = static_cast<int32_t>(std::cos(a0) * 20.0);
  const auto s0 = static_cast<int32_t>(std::sin(a0) * 20.0);
  PointerLines p;
  p.from_x = CENTRE_X + c0;
  p.from_y = CENTRE_Y + s0;
  p.spoke_x = CENTRE_X + 2 * c0;
  p.spoke_y = CENTRE_Y + 2 * s0;
  p.ahead_x = CENTRE_X + static_cast<int32_t>(std::cos(a1) * 25.0);
  p.ahead_y = CENTRE_Y + static_cast<int32_t>(std::sin(a1) * 25.0);
  p.behind_x = CENTRE_X + static_cast<int32_t>(std::cos(a2) * 25.0);
  p.behind_y = CENTRE_Y + static_cast<int32_t>(std::sin(a2) * 25.0);
  return p;
}

const char* timeline_picture_name(int32_t index) {
  return index >= 0 && index < TIMELINE_PICTURE_COUNT ? PICTURES[index].name : nullptr;
}

TimelineLoad timeline_load(Timeline& tl, const char* dir) {
  const std::string prefix = dir ? dir : "";
  tl.composed = false;
  for (const PictureFile& picture : PICTURES) {
    const std::string path = prefix + picture.name;
    const TgaResult result = decode_tga(tl.*picture.image, path.c_str());
    if (result != TGA_OK) return {result, path};
    if (picture.image == &Timeline::qv) resize(tl.slide_buffer, tl.qv.width, tl.qv.height);
  }
  return {};
}

FrameCues timeline_draw(Timeline& tl, Image& frame, int32_t t) {
  FrameCues cues;
  cues.show_goes_on = t < SHOW_LENGTH_MS;
  cues.stop_music = t >= FADE_IN_END && t < TEXT_HOLD_END;
  if (t < KANJI_FADE_END) {
    blit_fade_masked(tl.kanji, frame, 100, 100, 255 - ((t >> 2) & 255), tl.kanji);
  } else if (t < LOGO_WIPE_END) {
    draw_logo_wipe(tl, frame, t);
  } else if (t < FADE_IN_END) {
    draw_fade_ins(tl, frame, t);
  } else if (t < TEXT_HOLD_END) {
    draw_text_picture(tl, frame);
  } else if (t < CROSS_FADE_END) {
    compose_scenes(tl);
    draw_cross_fade(tl, frame, t);
  } else if (t < PROUDLY_END) {
    compose_scenes(tl);
    blit(tl.proudly_scene, frame, 0, 0);
  } else if (t < TITLE_END) {
    compose_scenes(tl);
    blit(tl.proudly_scene, frame, 0, 0);
    blit(tl.vessa, frame, 150, 210);
  } else if (t < POINTER_END) {
    draw_pointer(frame, t);
    if (t < DOT_SWAP) {
      blit(tl.itsadot, frame, 190, 10);
    } else {
      blit(tl.bluedot, frame, 190, 235);
    }
  } else if (t < SHOW_LENGTH_MS) {
    fill(frame, 0);
    blit(tl.fin, frame, 120, 170);
  }
  return cues;
}

FrameCues show_frame(Timeline& tl, Image& frame, int32_t t) {
  fill(frame, 0);
  return timeline_draw(tl, frame, t);
}
