// web_presenter.cpp: the canvas presenter of the browser build: each frame
// is turned into opaque RGBA bytes and put on the canvas "show" whole, with
// no smoothing or colour change, so the canvas holds the frame's exact
// pixels.
// Owns: the frame's sizes and the RGBA copy (one display per page); the
// canvas's 2D context lives in the page as Module.qmCanvas. Every browser
// call of the show's picture lives in this file.
// Thread: the page's main thread only.
#include "display/web_presenter.h"

#include <emscripten.h>

#include <cstdlib>

namespace {

constexpr int MAX_SIDE = 4096;  // the largest canvas side this presenter takes

int32_t frame_width = 0;      // pixels per frame row; 0 while closed
int32_t frame_height = 0;     // frame rows; 0 while closed
uint32_t* rgba = nullptr;     // width x height words, bytes R, G, B, A in memory

// The canvas's context is asked for without alpha, so the page behind it
// never shows through, and without colour management of its own.
EM_JS(int, canvas_open, (int width, int height), {
  const canvas = document.getElementById("show");
  if (!canvas || !canvas.getContext) return 0;
  canvas.width = width;
  canvas.height = height;
  const context = canvas.getContext("2d", {alpha : false});
  if (!context) return 0;
  context.imageSmoothingEnabled = false;
  Module["qmCanvas"] = context;
  return 1;
});

EM_JS(int, page_hidden, (), { return document.hidden ? 1 : 0; });

EM_JS(void, canvas_put, (const void* bytes, int width, int height), {
  const data = new Uint8ClampedArray(HEAPU8.buffer, bytes, width * height * 4);
  Module["qmCanvas"].putImageData(new ImageData(data, width, height), 0, 0);
});

EM_JS(void, canvas_close, (), { Module["qmCanvas"] = null; });

}  // namespace

void rgba_row_copy(const uint32_t* source, uint32_t* target, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t p = source[i];
    // Little-endian words: 0xAABBGGRR puts R, G, B, A in memory order.
    target[i] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
  }
}

namespace {

void canvas_shutdown(void*) {
  if (frame_width != 0) canvas_close();
  std::free(rgba);
  rgba = nullptr;
  frame_width = 0;
  frame_height = 0;
}

// The page's script owns full screen, the cursor and the keys; mode and
// title are the page's business.
DisplayStatus canvas_presenter_open(void* self, const char*, int width, int height, DisplayMode,
                                    std::string* why) {
  if (width < 1 || height < 1 || width > MAX_SIDE || height > MAX_SIDE) {
    if (why != nullptr) *why = "the frame size is out of range";
    return DISPLAY_UNAVAILABLE;
  }
  canvas_shutdown(self);
  rgba = static_cast<uint32_t*>(std::malloc(static_cast<size_t>(width) * height * sizeof(uint32_t)));
  if (rgba == nullptr || !canvas_open(width, height)) {
    canvas_shutdown(self);
    if (why != nullptr) *why = "this page has no canvas to draw on";
    return DISPLAY_UNAVAILABLE;
  }
  frame_width = width;
  frame_height = height;
  return DISPLAY_OK;
}

// A hidden page holds its frames back, as the desktop does while its window
// cannot be seen; the page's script reads the keys.
PresentResult canvas_present(void*, const uint32_t* pixels) {
  if (rgba == nullptr || frame_width == 0) return PRESENT_FAILED;
  if (page_hidden()) return PRESENT_SHOWN;
  rgba_row_copy(pixels, rgba, frame_width * frame_height);
  canvas_put(rgba, frame_width, frame_height);
  return PRESENT_SHOWN;
}

}  // namespace

const Presenter* web_presenter() {
  static const Presenter presenter = {nullptr, canvas_presenter_open, canvas_present, canvas_shutdown};
  return &presenter;
}
