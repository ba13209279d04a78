// presenter.h: the one interface every way of putting the show's frame on a
// screen implements (an SDL window on the desktop, the page's canvas in a
// browser, DirectDraw on Windows), and the show's handle on it.
// Owns: nothing; a presenter is a table of functions over its own state.
// Thread: main thread only.
//
// Call open once, then present for every frame until it returns
// PRESENT_QUIT or the caller is done, then shutdown. Nothing here ends the
// process: the caller decides what a failure or a quit means.
//
// Errors: open returns a DisplayStatus with the platform's reason in an
// optional string; present returns what it did with the frame.
#pragma once
#include <cstdint>
#include <string>

// How the frame is shown.
enum DisplayMode {
  DISPLAY_FULL_SCREEN, // over the whole screen, scaled by a whole factor, cursor hidden
  DISPLAY_WINDOW,      // a window of twice the frame's width and height
};

enum DisplayStatus {
  DISPLAY_OK = 0,
  DISPLAY_UNAVAILABLE, // no display opens in the mode asked for
};

// What present did with the frame.
enum PresentResult {
  PRESENT_FAILED = 0, // the frame could not be copied to the screen; try the next one
  PRESENT_SHOWN = 1,  // shown (or held back while the window cannot be seen)
  PRESENT_QUIT = 2,   // Esc, a close request or a quit signal: the show is to end
};

struct Presenter {
  void* self; // the presenter's own state, handed to each function
  // Opens the output titled title for frames of width x height. DISPLAY_OK,
  // or DISPLAY_UNAVAILABLE with the reason in *why (may be null).
  DisplayStatus (*open)(void* self, const char* title, int width, int height, DisplayMode mode, std::string* why);
  // Handles the platform's pending input, then shows the frame: height rows
  // of width 0x00RRGGBB words, no gap. A quit request is returned at once,
  // without drawing.
  PresentResult (*present)(void* self, const uint32_t* pixels);
  // Releases everything open made and restores the desktop; nothing when
  // nothing is open.
  void (*shutdown)(void* self);
};

// The show's handle on its presenter; carries no state of its own.
class DisplayDevice {
 public:
  explicit DisplayDevice(const Presenter* presenter) : presenter_(presenter) {}
  // Opens the display under "Quillmere..."; false, with the reason in *why
  // (may be null), when it cannot be opened.
  bool init(int width, int height, DisplayMode mode, std::string* why);
  PresentResult present(const uint32_t* pixels);
  void shutdown();

 private:
  const Presenter* presenter_; // never null
};

// Copies count 32-bit words of one frame row unchanged into a surface row:
// the row converter of every surface laid out as the frame is (32 bits,
// 0x00RRGGBB).
void row_copy(const uint32_t* source, uint32_t* target, int32_t count);
