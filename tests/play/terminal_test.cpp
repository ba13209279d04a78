// What the player shows and how it reads the keyboard and its command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/play/options.h"
#include "tools/play/terminal.h"

namespace {

constexpr int32_t RATE = 44100;

TEST(Status, DurationsInMinutesOrHours) {
  EXPECT_EQ(format_duration(0, RATE), "0:00");
  EXPECT_EQ(format_duration(60 * RATE - 1, RATE), "0:59");
  EXPECT_EQ(format_duration(61 * RATE, RATE), "1:01");
  EXPECT_EQ(format_duration(3725ull * RATE, RATE), "1:02:05");
}

TEST(Status, MeterIsOnADecibelScale) {
  EXPECT_EQ(level_meter(0, 8), "        ");
  EXPECT_EQ(level_meter(32768, 8), "########");
  EXPECT_EQ(level_meter(2048, 8), "####    "); // -24 dB: half way to the -48 dB floor
  EXPECT_EQ(level_meter(1, 8), "#       ");   // any sound shows
}

TEST(Status, LineFitsTheTerminalAndKeepsTheEndOfTheName) {
  StatusView v;
  v.file = "/a/long/folder/name/song.xm";
  v.song = "tune";
  v.order = 3;
  v.orders = 12;
  v.row = 7;
  v.elapsed = 65ull * RATE;
  v.total = 0;
  v.rate = RATE;
  v.gain_db = -3;
  v.paused = true;
  const std::string wide = status_line(v, 200);
  EXPECT_EQ(wide.rfind("/a/long/folder/name/song.xm (tune)", 0), 0u);
  for (const char* part : {"  order 3/11 row  7", "1:05/-:--", "-3 dB", "paused"})
    EXPECT_NE(wide.find(part), std::string::npos) << part << " in " << wide;
  const std::string narrow = status_line(v, static_cast<int>(wide.size()) - 10);
  EXPECT_EQ(narrow.size(), wide.size() - 11);
  EXPECT_EQ(narrow.rfind("...", 0), 0u);
  EXPECT_NE(narrow.find("song.xm (tune)"), std::string::npos);
  EXPECT_LE(status_line(v, 20).size(), 19u);
  v.gain_db = 0;
  v.paused = false;
  v.total = 90ull * RATE;
  const std::string plain = status_line(v, 200);
  EXPECT_EQ(plain.find("dB"), std::string::npos);
  EXPECT_EQ(plain.find("paused"), std::string::npos);
  EXPECT_NE(plain.find("1:05/1:30"), std::string::npos);
}

std::vector<Key> decode(const std::string& bytes) {
  KeyDecoder decoder;
  std::vector<Key> keys;
  for (unsigned char byte : bytes) {
    const Key key = decode_key(&decoder, byte);
    if (key != KEY_NONE) keys.push_back(key);
  }
  return keys;
}

TEST(Keys, PlainKeysArrowsAndEscapeSequences) {
  EXPECT_EQ(decode(" +=-_nNpPqQx"),
            (std::vector<Key>{KEY_PAUSE, KEY_LOUDER, KEY_LOUDER, KEY_SOFTER, KEY_SOFTER, KEY_NEXT_FILE,
                              KEY_NEXT_FILE, KEY_PREV_FILE, KEY_PREV_FILE, KEY_QUIT, KEY_QUIT}));
  EXPECT_EQ(decode("\x1b[C\x1b[D\x1bOC\x1bOD"),
            (std::vector<Key>{KEY_NEXT_ORDER, KEY_PREV_ORDER, KEY_NEXT_ORDER, KEY_PREV_ORDER}));
  // Modified arrows carry parameters; other sequences (F5, End) are no key,
  // and their letters are not taken for keys.
  EXPECT_EQ(decode("\x1b[1;5C\x1b[A\x1b[B\x1b[15~\x1b[Fn"),
            (std::vector<Key>{KEY_NEXT_ORDER, KEY_SEEK_AHEAD, KEY_SEEK_BACK, KEY_NEXT_FILE}));
  EXPECT_EQ(decode("\x1bq"), (std::vector<Key>{KEY_QUIT})) << "a lone Esc does not swallow the next key";
  EXPECT_EQ(decode(",<.>sS!iIhH?"),
            (std::vector<Key>{KEY_SEEK_BACK, KEY_SEEK_BACK, KEY_SEEK_AHEAD, KEY_SEEK_AHEAD, KEY_SOLO_NEXT,
                              KEY_SOLO_NEXT, KEY_UNMUTE_ALL, KEY_INFO, KEY_INFO, KEY_HELP, KEY_HELP, KEY_HELP}));
}

TEST(Keys, DigitsAreTheChannelsOneToTen) {
  const std::vector<Key> keys = decode("1234567890");
  ASSERT_EQ(keys.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(key_channel(keys[static_cast<size_t>(i)]), i) << "key " << i;
  EXPECT_EQ(key_channel(KEY_QUIT), -1);
  EXPECT_EQ(key_channel(KEY_NONE), -1);
  EXPECT_EQ(plain_key('/'), KEY_NONE);
  EXPECT_EQ(plain_key(':'), KEY_NONE);
}

TEST(Status, MutedAndSoloedChannelsAreListed) {
  StatusView v;
  v.rate = RATE;
  v.file = "a.xm";
  EXPECT_EQ(status_line(v, 200).find("mute"), std::string::npos);
  v.muted = 1u << 0 | 1u << 9 | 1u << 31;
  v.soloed = 1u << 4;
  v.solo_next = true;
  const std::string line = status_line(v, 200);
  EXPECT_NE(line.find("  mute 1,10,32"), std::string::npos) << line;
  EXPECT_NE(line.find("  solo 5"), std::string::npos) << line;
  EXPECT_NE(line.find("solo which?"), std::string::npos) << line;
}

CommandLine parse(std::vector<std::string> words, PlayOptions* options) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  return parse_play_options(static_cast<int>(argv.size()), argv.data(), options);
}

TEST(Options, FilesOrderAndMixingOptions) {
  PlayOptions o;
  ASSERT_EQ(parse({"quillmere-play", "--shuffle", "a.xm", "--rate=22050", "--loops", "3", "-", "--list", "--",
                   "-q"},
                  &o),
            COMMAND_RUN);
  ASSERT_EQ(o.inputs.size(), 3u);
  EXPECT_EQ(o.inputs[0].path, "a.xm");
  EXPECT_EQ(o.inputs[1].path, "-");
  EXPECT_EQ(o.inputs[2].path, "-q");
  EXPECT_FALSE(o.inputs[1].playlist);
  EXPECT_FALSE(o.shuffle) << "--list after --shuffle";
  EXPECT_FALSE(o.quiet) << "-q after -- is a file";
  EXPECT_EQ(o.mix.rate, 22050);
  EXPECT_EQ(o.mix.loops, 3);
  PlayOptions none;
  EXPECT_EQ(parse({"quillmere-play", "-q"}, &none), COMMAND_BAD);
  PlayOptions unknown;
  EXPECT_EQ(parse({"quillmere-play", "-x", "a.xm"}, &unknown), COMMAND_BAD);
}

TEST(Options, PlaylistsLoopAllAndLength) {
  PlayOptions o;
  ASSERT_EQ(parse({"quillmere-play", "a.xm", "-@", "list.txt", "Mix.M3U8", "-@-", "b.m3u", "-L", "--seconds",
                   "1:30", "--fade=2.5", "--start-time", "0:10"},
                  &o),
            COMMAND_RUN);
  std::vector<std::pair<std::string, bool>> inputs;
  for (const PlayInput& in : o.inputs) inputs.emplace_back(in.path, in.playlist);
  EXPECT_EQ(inputs, (std::vector<std::pair<std::string, bool>>{
                        {"a.xm", false}, {"list.txt", true}, {"Mix.M3U8", true}, {"-", true}, {"b.m3u", true}}));
  EXPECT_TRUE(o.loop_all);
  EXPECT_EQ(o.length.seconds, 90.0);
  EXPECT_EQ(o.length.fade, 2.5);
  EXPECT_EQ(o.length.start_time, 10.0);
  EXPECT_EQ(o.mix.loops, 0) << "--seconds without --loops: the song repeats to fill them";
  PlayOptions once;
  ASSERT_EQ(parse({"quillmere-play", "a.xm"}, &once), COMMAND_RUN);
  EXPECT_EQ(once.mix.loops, 1);
  EXPECT_LT(once.length.start_time, 0.0);
  EXPECT_FALSE(once.loop_all);
  PlayOptions both;
  EXPECT_EQ(parse({"quillmere-play", "--start", "1", "--start-time", "3", "a.xm"}, &both), COMMAND_BAD);
  PlayOptions no_list;
  EXPECT_EQ(parse({"quillmere-play", "-@"}, &no_list), COMMAND_BAD);
  PlayOptions bad_time;
  EXPECT_EQ(parse({"quillmere-play", "--seconds", "0", "a.xm"}, &bad_time), COMMAND_BAD);
}

}  // namespace
