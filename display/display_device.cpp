// display_device.cpp: the show's handle on its presenter and the row copy
// (see presenter.h).
// Owns: nothing. Thread: main thread.
#include "display/presenter.h"

#include <cstring>

namespace {

constexpr const char* SHOW_TITLE = "Quillmere...";

}  // namespace

bool DisplayDevice::init(int width, int height, DisplayMode mode, std::string* why) {
  return presenter_->open(presenter_->self, SHOW_TITLE, width, height, mode, why) == DISPLAY_OK;
}

PresentResult DisplayDevice::present(const uint32_t* pixels) { return presenter_->present(presenter_->self, pixels); }

void DisplayDevice::shutdown() { presenter_->shutdown(presenter_->self); }

void row_copy(const uint32_t* source, uint32_t* target, int32_t count) {
  std::memcpy(target, source, static_cast<size_t>(count) * sizeof(uint32_t));
}
