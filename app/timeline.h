// timeline.h: what the frame shows at each moment of the 30.72-second show.
// Owns: the nine loaded pictures and three scratch pictures, and the flag that
// the two scene pictures were composed. Touches: the frame it is given and,
// at the 4096 ms cue, the music player. Thread: main thread only.
#pragma once
#include <cstdint>

#include "gfx/image.h"

class MusicPlayer;

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
  bool composed = false; // true once the two scene pictures are composed
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
// picture. A picture that fails to load ends the process with status -1.
void timeline_load(Timeline& timeline, const char* dir);

// Draws the picture for t milliseconds into the already cleared 512 x 384
// frame. At 4096 <= t < 6144 it first stops music (when not null). Returns
// false, drawing nothing, when t is at or past the end of the show.
bool timeline_draw(Timeline& timeline, Image& frame, int32_t t, MusicPlayer* music);
