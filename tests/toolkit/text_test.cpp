// text_test.cpp: the tools' JSON writer (escaping, invalid UTF-8, commas),
// safe text (control characters escaped, song names read as code page 437
// unless they are UTF-8) and the WAV header, field by field and against a
// header written by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/common/json_writer.h"
#include "tools/common/text.h"
#include "tools/common/wav_header.h"

namespace {

uint32_t le(const unsigned char* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

TEST(Text, ControlCharactersAreEscapedAndNothingElse) {
  EXPECT_EQ(printable("a\nb\tc\rd"), "a\\nb\\tc\\rd");
  EXPECT_EQ(printable(std::string("\x01\x1f\x7f x", 5)), "\\x01\\x1F\\x7F x");
  EXPECT_EQ(printable(" ~ caf\xc3\xa9"), " ~ caf\xc3\xa9") << "space, tilde and UTF-8 stay";
}

TEST(Text, SongNamesBecomeUtf8) {
  EXPECT_TRUE(is_utf8("plain \xc3\xa9 \xe2\x96\x91 \xf0\x9f\x8e\xb5"));
  for (const char* bad : {"\x82", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x96"})
    EXPECT_FALSE(is_utf8(bad)) << "a stray, cut, overlong, surrogate or too large sequence";
  EXPECT_EQ(song_utf8("caf\x82 \xb0\xdb\xff"), "caf\xc3\xa9 \xe2\x96\x91\xe2\x96\x88\xc2\xa0") << "code page 437";
  EXPECT_EQ(song_utf8("d\xc3\xa9j\xc3\xa0"), "d\xc3\xa9j\xc3\xa0") << "UTF-8 is kept as it is";
  EXPECT_EQ(song_utf8("\x80\x9f\xa0\xe0"), "\xc3\x87\xc6\x92\xc3\xa1\xce\xb1") << "the table's ends: Ç ƒ á α";
  EXPECT_EQ(song_text("tab\there\x82"), "tab\\there\xc3\xa9");
}

TEST(Json, EscapesAndReplacesInvalidUtf8) {
  EXPECT_EQ(json_escape("a\"b\\c"), "a\\\"b\\\\c");
  EXPECT_EQ(json_escape("\n\t\x01\x7f"), "\\n\\t\\u0001\\u007f");
  EXPECT_EQ(json_escape("\r\x1f/"), "\\r\\u001f/");
  EXPECT_EQ(json_escape("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5"), "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5");
  EXPECT_EQ(json_escape("\xc3"), "\\ufffd");              // cut short
  EXPECT_EQ(json_escape("\xc3x"), "\\ufffdx");            // a lead byte without its follower
  EXPECT_EQ(json_escape("\xc0\xaf"), "\\ufffd\\ufffd");   // overlong
  EXPECT_EQ(json_escape("\xe0\x80\xaf"), "\\ufffd\\ufffd\\ufffd");  // overlong in three bytes
  EXPECT_EQ(json_escape("\xed\xa0\x80"), "\\ufffd\\ufffd\\ufffd");  // a surrogate
  EXPECT_EQ(json_escape("\xf4\x90\x80\x80"), "\\ufffd\\ufffd\\ufffd\\ufffd");  // above U+10FFFF
  EXPECT_EQ(json_escape("\xf4\x8f\xbf\xbf"), "\xf4\x8f\xbf\xbf");  // U+10FFFF itself
  EXPECT_EQ(json_escape("\xf5\x80\x80\x80x"), "\\ufffd\\ufffd\\ufffd\\ufffdx");
  EXPECT_EQ(json_escape(std::string("a\0b", 3)), "a\\u0000b");
}

TEST(Json, PlacesCommas) {
  JsonWriter j;
  json_begin_object(&j);
  json_key(&j, "a");
  json_begin_array(&j);
  json_int(&j, 1);
  json_int(&j, -2);
  json_begin_object(&j);
  json_bool_field(&j, "b", true);
  json_real_field(&j, "r", 0.125, 2);
  json_end_object(&j);
  json_begin_array(&j);
  json_end_array(&j);
  json_end_array(&j);
  json_string_field(&j, "c", "x");
  json_int_field(&j, "q\"", 7);
  json_end_object(&j);
  EXPECT_EQ(j.text, "{\"a\":[1,-2,{\"b\":true,\"r\":0.12},[]],\"c\":\"x\",\"q\\\"\":7}");
}

TEST(WavHeader, SixteenBitStereoByteForByte) {
  // 44,100 Hz, 16-bit stereo, 1000 frames: written out by hand.
  const unsigned char want[44] = {'R', 'I', 'F', 'F', 0xC4, 0x0F, 0, 0,  // 4000 + 36
                                  'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                  1, 0, 2, 0,                              // PCM, 2 channels
                                  0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0,   // 44100, 176400 bytes a second
                                  4, 0, 16, 0,                             // 4 bytes a frame, 16 bits
                                  'd', 'a', 't', 'a', 0xA0, 0x0F, 0, 0};   // 4000 bytes
  unsigned char got[WAV_MAX_HEADER_BYTES] = {};
  ASSERT_EQ(wav_header(got, WavFormat{2, 44100, 16, false}, 1000), 44u);
  EXPECT_EQ(std::memcmp(got, want, sizeof want), 0);
}

TEST(WavHeader, FieldsOfEveryKind) {
  struct Kind {
    WavFormat format;
    size_t header;
    uint32_t tag;
  };
  const Kind kinds[] = {{{1, 8000, 16, false}, 44, 1},
                        {{2, 48000, 24, false}, 68, 0xFFFE},
                        {{1, 192000, 32, true}, 80, 0xFFFE},
                        {{2, 22050, 32, true}, 80, 0xFFFE}};
  const unsigned char guid_tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  for (const Kind& k : kinds) {
    const uint64_t frames = 12345;
    unsigned char h[WAV_MAX_HEADER_BYTES] = {};
    const size_t size = wav_header(h, k.format, frames);
    const uint32_t block = static_cast<uint32_t>(k.format.channels * k.format.bits / 8);
    const uint32_t data = static_cast<uint32_t>(frames) * block;
    ASSERT_EQ(size, k.header);
    EXPECT_EQ(wav_header_bytes(k.format), k.header);
    EXPECT_EQ(wav_frame_bytes(k.format), block);
    EXPECT_EQ(le(h + 4, 4), data + k.header - 8) << "RIFF size";
    EXPECT_EQ(le(h + 16, 4), k.tag == 1 ? 16u : 40u) << "fmt size";
    EXPECT_EQ(le(h + 20, 2), k.tag);
    EXPECT_EQ(le(h + 22, 2), static_cast<uint32_t>(k.format.channels));
    EXPECT_EQ(le(h + 24, 4), static_cast<uint32_t>(k.format.rate));
    EXPECT_EQ(le(h + 28, 4), static_cast<uint32_t>(k.format.rate) * block);
    EXPECT_EQ(le(h + 32, 2), block);
    EXPECT_EQ(le(h + 34, 2), static_cast<uint32_t>(k.format.bits));
    if (k.tag != 1) {  // the extension: valid bits, speakers, subformat GUID
      EXPECT_EQ(le(h + 36, 2), 22u);
      EXPECT_EQ(le(h + 38, 2), static_cast<uint32_t>(k.format.bits));
      EXPECT_EQ(le(h + 40, 4), k.format.channels == 1 ? 0x4u : 0x3u);
      EXPECT_EQ(le(h + 44, 2), k.format.is_float ? 3u : 1u);
      EXPECT_EQ(std::memcmp(h + 46, guid_tail, sizeof guid_tail), 0);
    }
    if (k.format.is_float) {
      EXPECT_EQ(std::memcmp(h + 60, "fact", 4), 0);
      EXPECT_EQ(le(h + 64, 4), 4u);
      EXPECT_EQ(le(h + 68, 4), frames);
    }
    EXPECT_EQ(std::memcmp(h + k.header - 8, "data", 4), 0);
    EXPECT_EQ(le(h + k.header - 4, 4), data);
  }
}

TEST(WavHeader, TheLongestFileFitsInFourGigabytes) {
  const WavFormat stereo{2, 44100, 16, false};
  const uint64_t limit = wav_frame_limit(stereo);
  EXPECT_LE(44 + limit * 4, 0xFFFFFFFFull);
  EXPECT_GT(44 + (limit + 1) * 4, 0xFFFFFFFFull);
  const WavFormat float_mono{1, 44100, 32, true};
  EXPECT_EQ(wav_frame_limit(float_mono), (0xFFFFFFFFull - 80) / 4);
}

}  // namespace
