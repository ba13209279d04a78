// The DirectDraw presenter against a stand-in DirectDraw library (the
// fake_ddraw DLL) that records every call: the order of the open, the
// depth and buffering fall-backs, the row-converter rule, the rows copied at
// the lock's pitch, the activation flag, the keys and shutdown's order. The
// GDI window's scale. Runs under Wine (or Windows) with a window station.
#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/ddraw_presenter.h"
#include "display/gdi_presenter.h"
#include "fake_ddraw.h"

namespace {

constexpr int WIDTH = 512, HEIGHT = 384;
constexpr const char* TITLE = "Quillmere test";

class DirectDrawPresenter : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = LoadLibraryA(FAKE_DDRAW_DLL);
    ASSERT_NE(library_, nullptr) << "the stand-in " << FAKE_DDRAW_DLL << " does not load";
    auto get = reinterpret_cast<FakeStateFunction>(reinterpret_cast<void*>(GetProcAddress(library_, "fake_ddraw_state")));
    ASSERT_NE(get, nullptr);
    fake_ = get();
    *fake_ = FakeDirectDraw{};
    fake_->bits = 32, fake_->red = 0xFF0000, fake_->green = 0xFF00, fake_->blue = 0xFF;
    fake_->pitch = WIDTH * 4;
    ddraw_presenter_set_library(FAKE_DDRAW_DLL);
    presenter_ = ddraw_presenter();
  }
  void TearDown() override {
    presenter_->shutdown(presenter_->self);
    FreeLibrary(library_);
  }
  DisplayStatus open(std::string* why = nullptr) {
    return presenter_->open(presenter_->self, TITLE, WIDTH, HEIGHT, DISPLAY_FULL_SCREEN, why);
  }
  std::string log() const { return fake_->log; }
  void clear_log() { fake_->log[0] = '\0'; }
  HWND window() const { return FindWindowA(TITLE, TITLE); }

  HMODULE library_ = nullptr;
  FakeDirectDraw* fake_ = nullptr;
  const Presenter* presenter_ = nullptr;
};

TEST_F(DirectDrawPresenter, OpensInTheOrderOfItsSteps) {
  ASSERT_EQ(open(), DISPLAY_OK);
  EXPECT_EQ(log(), "DirectDrawCreate SetCooperativeLevel(exclusive) SetDisplayMode(512x384x32) CreateSurface "
                   "GetAttachedSurface GetPixelFormat ");
  EXPECT_EQ(fake_->back_buffer_count, 2u);  // triple buffering first
  EXPECT_EQ(fake_->caps, static_cast<uint32_t>(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX |
                                                DDSCAPS_VIDEOMEMORY));
  EXPECT_EQ(fake_->desc_size, sizeof(DDSURFACEDESC));  // 108 bytes on 32-bit Windows
  EXPECT_NE(window(), nullptr);
}

TEST_F(DirectDrawPresenter, FallsBackTo24And16BitsThenDoubleBuffering) {
  fake_->refuse_depths[0] = 1;
  fake_->refuse_triple = 1;
  ASSERT_EQ(open(), DISPLAY_OK);
  EXPECT_NE(log().find("SetDisplayMode(512x384x32) SetDisplayMode(512x384x24) CreateSurface CreateSurface "),
            std::string::npos) << log();
  EXPECT_EQ(fake_->back_buffer_count, 1u);
}

TEST_F(DirectDrawPresenter, AModeOfOtherBitsOrMasksFailsAfterTheModeWasSet) {
  fake_->refuse_depths[0] = fake_->refuse_depths[1] = 1;
  fake_->bits = 16, fake_->red = 0xF800, fake_->green = 0x7E0, fake_->blue = 0x1F;
  std::string why;
  EXPECT_EQ(open(&why), DISPLAY_UNAVAILABLE);
  EXPECT_NE(log().find("SetDisplayMode(512x384x16) CreateSurface GetAttachedSurface GetPixelFormat"),
            std::string::npos) << log();
  EXPECT_NE(why.find("--window"), std::string::npos) << why;
}

TEST_F(DirectDrawPresenter, EveryDepthRefusedNamesTheWindowedWayOut) {
  fake_->refuse_depths[0] = fake_->refuse_depths[1] = fake_->refuse_depths[2] = 1;
  std::string why;
  EXPECT_EQ(open(&why), DISPLAY_UNAVAILABLE);
  EXPECT_EQ(log().find("CreateSurface"), std::string::npos);
  EXPECT_NE(why.find("512 x 384"), std::string::npos) << why;
  EXPECT_NE(why.find("--window"), std::string::npos) << why;
}

TEST(RowConverter, OnlyThe32BitLayoutOfTheFrameHasOne) {
  EXPECT_EQ(choose_row_converter(32, 0xFF0000, 0xFF00, 0xFF), row_copy);
  EXPECT_EQ(choose_row_converter(32, 0xFF, 0xFF00, 0xFF0000), nullptr);
  EXPECT_EQ(choose_row_converter(32, 0xFF0000, 0xFF00, 0xFF0000), nullptr);  // every mask counts
  EXPECT_EQ(choose_row_converter(24, 0xFF0000, 0xFF00, 0xFF), nullptr);
  EXPECT_EQ(choose_row_converter(16, 0xF800, 0x7E0, 0x1F), nullptr);
}

TEST_F(DirectDrawPresenter, NothingIsDrawnUntilTheProgramIsActive) {
  ASSERT_EQ(open(), DISPLAY_OK);
  std::vector<uint32_t> frame(WIDTH * HEIGHT, 0x123456);
  clear_log();
  EXPECT_EQ(presenter_->present(presenter_->self, frame.data()), PRESENT_SHOWN);
  EXPECT_EQ(log().find("Lock"), std::string::npos) << log();
  SendMessageA(window(), WM_ACTIVATEAPP, TRUE, 0);
  EXPECT_EQ(presenter_->present(presenter_->self, frame.data()), PRESENT_SHOWN);
  EXPECT_EQ(log(), "Restore Lock Unlock Flip ");
  SendMessageA(window(), WM_ACTIVATEAPP, FALSE, 0);
  clear_log();
  presenter_->present(presenter_->self, frame.data());
  EXPECT_EQ(log(), "");
}

TEST_F(DirectDrawPresenter, RowsStartAtThePitchAndTheBytesBetweenAreLeftAlone) {
  constexpr int32_t PITCH = 4096;  // wider than a row of 2048 bytes
  fake_->pitch = PITCH;
  std::memset(fake_->surface, 0xEE, sizeof fake_->surface);
  ASSERT_EQ(open(), DISPLAY_OK);
  SendMessageA(window(), WM_ACTIVATEAPP, TRUE, 0);
  std::vector<uint32_t> frame(WIDTH * HEIGHT);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
  ASSERT_EQ(presenter_->present(presenter_->self, frame.data()), PRESENT_SHOWN);
  for (int row : {0, 1, HEIGHT / 2, HEIGHT - 1}) {
    const unsigned char* at = fake_->surface + static_cast<size_t>(row) * PITCH;
    EXPECT_EQ(std::memcmp(at, &frame[static_cast<size_t>(row) * WIDTH], WIDTH * 4), 0) << "row " << row;
    EXPECT_EQ(at[WIDTH * 4], 0xEE) << "row " << row;
    EXPECT_EQ(at[PITCH - 1], 0xEE) << "row " << row;
  }
}

TEST_F(DirectDrawPresenter, EscAndCloseQuitOtherKeysAreSwallowed) {
  ASSERT_EQ(open(), DISPLAY_OK);
  std::vector<uint32_t> frame(WIDTH * HEIGHT);
  EXPECT_EQ(SendMessageA(window(), WM_KEYDOWN, 'A', 0), 0);
  EXPECT_EQ(presenter_->present(presenter_->self, frame.data()), PRESENT_SHOWN);
  PostMessageA(window(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(presenter_->present(presenter_->self, frame.data()), PRESENT_QUIT);
  presenter_->shutdown(presenter_->self);
  ASSERT_EQ(open(), DISPLAY_OK);
  PostMessageA(window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(presenter_->present(presenter_->self, frame.data()), PRESENT_QUIT);
}

TEST_F(DirectDrawPresenter, ShutdownReleasesInOrderAndRestoresTheDesktop) {
  ASSERT_EQ(open(), DISPLAY_OK);
  clear_log();
  presenter_->shutdown(presenter_->self);
  EXPECT_EQ(log(), "Release(surface) RestoreDisplayMode SetCooperativeLevel(normal) Release(ddraw) ");
  EXPECT_EQ(window(), nullptr);
  clear_log();
  presenter_->shutdown(presenter_->self);  // nothing is left to release
  EXPECT_EQ(log(), "");
}

TEST_F(DirectDrawPresenter, AMissingLibraryIsRefusedWithItsName) {
  ddraw_presenter_set_library("no-such-ddraw.dll");
  std::string why;
  EXPECT_EQ(open(&why), DISPLAY_UNAVAILABLE);
  EXPECT_NE(why.find("no-such-ddraw.dll"), std::string::npos) << why;
}

TEST(GdiWindow, TheLargestWholeScaleUpToTwoThatFits) {
  EXPECT_EQ(window_scale(512, 384, 1920, 1080, 2), 2);
  EXPECT_EQ(window_scale(512, 384, 1024, 768, 2), 2);
  EXPECT_EQ(window_scale(512, 384, 1023, 768, 2), 1);
  EXPECT_EQ(window_scale(512, 384, 1024, 767, 2), 1);
  EXPECT_EQ(window_scale(512, 384, 300, 200, 2), 1);  // never below 1
}

}  // namespace
