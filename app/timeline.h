// timeline.h: what the frame shows at each moment of the 30.72-second show.
// Owns: the nine loaded pictures, three scratch pictures and the flag that
// the two scene pictures are composed. Touches: the frame it is given only.
// Thread: main thread only.
//
// Drawing is a function of the show time alone: the same t gives the same
// frame and the same cues whatever was drawn before. The caller owns the
// clock and acts on the cues (it stops the music, it ends the show).
#pragma once
#include <cstdint>
#include <string>

#include "gfx/image.h"
#include "gfx/tga.h"

// Length of the show in milliseconds; the first frame at or after it ends it.
constexpr int32_t SHOW_LENGTH_MS = 30720;
constexpr int32_t FRAME_WIDTH = 512;
constexpr int32_t FRAME_HEIGHT = 384;

// The timeline's pictures and its only state carried between frames.
struct Timeline {
  Image kanji;          // "kanji-rgb.tga", first picture, its own fade mask
  Image kana;           // "kana-rgb.tga"
  Image qv;             // "qv-rgb.tga", the wiped-in logo
  Image slide_buffer;   // scratch for the logo wipe, qv's size
  Image brell;          // "brell-rgb.tga"
  Image itsadot;        // "itsadot.tga", dot shown with the pointer until 20480 ms
  Image bluedot;        // "bluedot.tga", dot shown with the pointer from 20480 ms
  Image fin;            // "fin.tga", closing picture
  Image proudly;        // "proudly.tga"
  Image vessa;          // "vessa.tga", title over the second scene
  Image text_scene;     // scratch: the finished text picture, 512 x 384 once composed
  Image proudly_scene;  // scratch: proudly on black, 512 x 384 once composed
  bool composed = false; // cache flag: the two scene pictures are composed
};

// The outcome of loading the pictures: the first one that failed and why.
struct TimelineLoad {
  TgaResult result = TGA_OK; // TGA_OK when all nine loaded
  std::string path;          // the failed picture's path as opened; empty on success
};

// What the caller of timeline_draw is to do around the frame.
struct FrameCues {
  bool show_goes_on = false; // false from SHOW_LENGTH_MS on: nothing drawn, the show ends
  bool stop_music = false;   // true for 4096 <= t < 6144: stop the music now (stopping is idempotent)
};

// The three lines of the rotating pointer at pointer step s (one step per
// 64 ms): all start at `from`; `spoke` is the outer end, `ahead` and
// `behind` the ends of the two short strokes.
struct PointerLines {
  int32_t from_x, from_y;
  int32_t spoke_x, spoke_y;
  int32_t ahead_x, ahead_y;
  int32_t behind_x, behind_y;
};
PointerLines pointer_lines(int32_t s);

// Loads the nine pictures, in the show's order, from dir (empty: the working
// directory; otherwise a prefix ending in '/'), and sizes the wipe's scratch
// picture. Stops at the first picture that does not load and names it.
TimelineLoad timeline_load(Timeline& timeline, const char* dir);

// The file names of the nine pictures, in the order they load; null past them.
constexpr int32_t TIMELINE_PICTURE_COUNT = 9;
const char* timeline_picture_name(int32_t index);

// Draws the picture for t milliseconds into the already cleared 512 x 384
// frame and returns the cues for t. From SHOW_LENGTH_MS on it draws nothing.
// The two scene pictures are composed on the first frame that shows them
// and kept (a cache: the frame is the same either way).
FrameCues timeline_draw(Timeline& timeline, Image& frame, int32_t t);

// One frame of the show, the step every frame loop shares (the desktop's
// and the browser's): clears the 512 x 384 frame, then timeline_draw. The
// caller acts on the cues: it stops the music on stop_music, presents the
// frame while show_goes_on, and ends the show otherwise.
FrameCues show_frame(Timeline& timeline, Image& frame, int32_t t);
