// display_device.cpp: the show's handle on its presenter (see presenter.h).
// Owns: nothing. Thread: main thread.
#include "display/presenter.h"

namespace {

constexpr const char* SHOW_TITLE = "Quillmere...";

}  // namespace

bool DisplayDevice::init(int width, int height, DisplayMode mode, std::string* why) {
  return presenter_->open(presenter_->self, SHOW_TITLE, width, height, mode, why) == DISPLAY_OK;
}

PresentResult DisplayDevice::present(const uint32_t* pixels) { return presenter_->present(presenter_->self, pixels); }

void DisplayDevice::shutdown() { presenter_->shutdown(presenter_->self); }
