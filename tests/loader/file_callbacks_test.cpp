// The file-callback table and the handle layer: completeness, null handles,
// pass-through of arguments and results, failed opens.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "runtime/show_music.h"

using namespace qm;

namespace {

struct Calls {
  int open = 0, close = 0, read = 0, seek = 0, tell = 0;
  void* last_stream = nullptr;
  int32_t last_length = 0, last_offset = 0, last_whence = 0;
};
Calls calls;
bool open_fails = false;
int stream_token = 0;

void* fake_open(const char*) {
  ++calls.open;
  return open_fails ? nullptr : &stream_token;
}
int fake_close(void* s) {
  ++calls.close;
  calls.last_stream = s;
  return 7;
}
int32_t fake_read(void* dst, int32_t length, void* s) {
  ++calls.read;
  calls.last_stream = s;
  calls.last_length = length;
  std::memset(dst, 0x5A, static_cast<size_t>(length));
  return length - 1;
}
int fake_seek(void* s, int32_t offset, int32_t whence) {
  ++calls.seek;
  calls.last_stream = s;
  calls.last_offset = offset;
  calls.last_whence = whence;
  return 3;
}
int32_t fake_tell(void* s) {
  ++calls.tell;
  calls.last_stream = s;
  return 1234;
}

class FileCallbacksTest : public testing::Test {
 protected:
  void SetUp() override {
    calls = Calls{};
    open_fails = false;
    set_file_callbacks(fake_open, fake_close, fake_read, fake_seek, fake_tell);
  }
  void TearDown() override { set_file_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr); }
};

bool table_empty() {
  const FileCallbacks& file_callbacks = show_output().files;
  return file_callbacks.open == nullptr && file_callbacks.close == nullptr && file_callbacks.read == nullptr &&
         file_callbacks.seek == nullptr && file_callbacks.tell == nullptr;
}

TEST_F(FileCallbacksTest, AnyNullSlotEmptiesTheWholeTable) {
  for (int missing = 0; missing < 5; ++missing) {
    set_file_callbacks(fake_open, fake_close, fake_read, fake_seek, fake_tell);
    ASSERT_TRUE(file_callbacks_complete());
    set_file_callbacks(missing == 0 ? nullptr : fake_open, missing == 1 ? nullptr : fake_close,
                       missing == 2 ? nullptr : fake_read, missing == 3 ? nullptr : fake_seek,
                       missing == 4 ? nullptr : fake_tell);
    EXPECT_TRUE(table_empty()) << "slot " << missing;
    EXPECT_FALSE(file_callbacks_complete());
  }
}

TEST_F(FileCallbacksTest, NullHandleCallsNothing) {
  char buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(handle_read(buffer, 4, nullptr), 0);
  EXPECT_EQ(handle_seek(nullptr, 10, 0), 0);
  EXPECT_EQ(handle_tell(nullptr), 0);
  handle_close(nullptr);
  EXPECT_EQ(calls.read + calls.seek + calls.tell + calls.close, 0);
  EXPECT_EQ(buffer[0], 1);
}

TEST_F(FileCallbacksTest, HandlePassesArgumentsAndResultsThrough) {
  FileHandle* h = handle_open("any", 9, -5);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->kind, 9);
  EXPECT_EQ(h->user_value, -5);
  EXPECT_EQ(h->stream, &stream_token);
  char buffer[8];
  EXPECT_EQ(handle_read(buffer, 8, h), 7); // a short count is passed on as it is
  EXPECT_EQ(calls.last_length, 8);
  EXPECT_EQ(handle_seek(h, -3, 1), 3);
  EXPECT_EQ(calls.last_offset, -3);
  EXPECT_EQ(calls.last_whence, 1);
  EXPECT_EQ(handle_tell(h), 1234);
  EXPECT_EQ(calls.last_stream, &stream_token);
  handle_close(h);
  EXPECT_EQ(calls.close, 1);
}

// The address sanitizer's leak check sees a handle that a failed open kept.
TEST_F(FileCallbacksTest, FailedOpenLeavesNothingAndClosesNothing) {
  open_fails = true;
  EXPECT_EQ(handle_open("missing", 0, 0), nullptr);
  EXPECT_EQ(calls.open, 1);
  EXPECT_EQ(calls.close, 0);
}

TEST_F(FileCallbacksTest, NoTableOpensNothing) {
  set_file_callbacks(nullptr, fake_close, fake_read, fake_seek, fake_tell);
  EXPECT_EQ(handle_open("any", 0, 0), nullptr);
  EXPECT_EQ(calls.open, 0);
}

} // namespace
