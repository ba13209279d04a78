// show_frame.cpp: one frame of the show (see show_frame.h).
// Owns: nothing. Thread: the caller's frame loop.
#include "app/show_frame.h"

FrameCues show_frame(Timeline& timeline, Image& frame, int32_t t) {
  fill(frame, 0);
  return timeline_draw(timeline, frame, t);
}
