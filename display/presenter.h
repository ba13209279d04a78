// presenter.h: puts the 512 x 384 software frame on the screen, full-screen
// or in a window at twice its size, and owns the program's only window and
// its event pump.
// Owns: the process-wide window, renderer, texture and activation flag.
// Thread: main thread only.
//
// Call display_open once, then display_present for every frame until it
// returns PRESENT_QUIT or the caller is done, then display_shutdown. Nothing
// here ends the process: the caller decides what a failure or a quit means.
#pragma once
#include <cstdint>

// How the frame is shown.
enum DisplayMode {
  DISPLAY_FULL_SCREEN, // over the whole screen, scaled by a whole factor, cursor hidden
  DISPLAY_WINDOW,      // a window of twice the frame's width and height
};

// What display_present did with the frame.
enum PresentResult {
  PRESENT_FAILED = 0, // the frame could not be copied to the screen; try the next one
  PRESENT_SHOWN = 1,  // shown (or held back while the window cannot be seen)
  PRESENT_QUIT = 2,   // Esc, a close request or a quit signal: the show is to end
};

// Opens the window titled title for frames of width x height. Returns 1 on
// success, 0 when no display can be opened (display_failure says why).
int display_open(const char* title, int width, int height, DisplayMode mode);
// SDL's reason for the last failed display_open; empty after a success.
const char* display_failure();
// Pumps the window's events, then shows the frame: height rows of width
// 0x00RRGGBB words, no gap. A quit request seen in the events is returned
// at once, without drawing.
PresentResult display_present(const uint32_t* pixels);
// Releases everything display_open made and restores the desktop; does
// nothing when nothing is open.
void display_shutdown();
// Copies count 32-bit words of one frame row unchanged into a texture row.
void row_copy(const uint32_t* source, uint32_t* target, int32_t count);

// The demo's stateless handle to the presenter.
class DisplayDevice {
 public:
  // Opens the display under "Quillmere..."; false when it cannot be opened.
  bool init(int width, int height, DisplayMode mode);
  PresentResult present(const uint32_t* pixels);
  // Releases the display (display_shutdown).
  void shutdown();
};
