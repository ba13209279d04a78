// Lists of songs and time values: what a line of a list becomes, which
// lists are refused whole, and which times the length options take.
#include "tools/play/playlist.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/common/length_options.h"

namespace {

namespace fs = std::filesystem;

TEST(TimeValues, SecondsMinutesAndHours) {
  double t = -1;
  const std::vector<std::pair<const char*, double>> good = {
      {"0", 0.0}, {"90", 90.0}, {"2.5", 2.5}, {"1:30", 90.0}, {"1:05.25", 65.25}, {"0:59.9", 59.9},
      {"1:02:03", 3723.0}, {"24:00:00", 86400.0}, {"100:00", 6000.0}};
  for (const auto& [text, seconds] : good) {
    EXPECT_TRUE(parse_time(text, MAX_SECONDS, &t)) << text;
    EXPECT_DOUBLE_EQ(t, seconds) << text;
  }
  for (const char* text : {"", ":", "1:", ":30", "1:60", "1:2:60", "1:60:00", "1:2:3:4", "-5", "+5", "1e3",
                           "1.5:00", "1:30x", " 5", "24:00:01", "nan", "inf", "0x10"})
    EXPECT_FALSE(parse_time(text, MAX_SECONDS, &t)) << text;
  EXPECT_FALSE(parse_time(nullptr, MAX_SECONDS, &t));
  EXPECT_FALSE(parse_time("10", 9.5, &t)) << "above the maximum";
}

TEST(Playlist, CommentsBlankLinesLineEndsAndFolders) {
  Playlist list;
  parse_playlist("\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:123,Some tune\r\na.xm\r\n\n  \n\t\nsub/b.xm\n/abs/c.xm\nlast.xm",
                 "lists", "", &list);
  const std::string in_lists = (fs::path("lists") / "a.xm").string();
  EXPECT_EQ(list.songs, (std::vector<std::string>{in_lists, (fs::path("lists") / "sub/b.xm").string(), "/abs/c.xm",
                                                  (fs::path("lists") / "last.xm").string()}));
  EXPECT_TRUE(list.skipped.empty());
  Playlist here;
  parse_playlist("a.xm\n", "", "", &here);
  EXPECT_EQ(here.songs, (std::vector<std::string>{"a.xm"})) << "a list in the working folder";
}

TEST(Playlist, ControlCharactersAndListsInListsAreSkippedWithTheLine) {
  Playlist list;
  parse_playlist("a.xm\nbad\x01name.xm\nesc\x1b[2J.xm\nother.m3u\nMORE.M3U8\nb.xm\n", "", "", &list);
  EXPECT_EQ(list.songs, (std::vector<std::string>{"a.xm", "b.xm"}));
  ASSERT_EQ(list.skipped.size(), 4u);
  EXPECT_EQ(list.skipped[0], "line 2: 'bad\\x01name.xm' holds a control character; skipped");
  EXPECT_EQ(list.skipped[1].rfind("line 3: 'esc\\x1B[2J.xm'", 0), 0u) << list.skipped[1];
  EXPECT_EQ(list.skipped[2], "line 4: 'other.m3u' is a list; lists inside lists are not followed");
  EXPECT_EQ(list.skipped[3].rfind("line 5: ", 0), 0u);
}

// A folder of its own for the files these tests write.
class PlaylistFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::UnitTest* test = ::testing::UnitTest::GetInstance();
    dir = fs::temp_directory_path() /
          ("qm-playlist-" + std::to_string(test->random_seed()) + "-" + test->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  fs::path dir;
};

TEST_F(PlaylistFiles, AListNamingItselfSkipsThatLine) {
  const std::string path = write("self.txt", "one.xm\nself.txt\n./self.txt\ntwo.xm\n");
  Playlist list;
  ASSERT_FALSE(failed(read_playlist(path, &list)));
  EXPECT_EQ(list.songs, (std::vector<std::string>{(dir / "one.xm").string(), (dir / "two.xm").string()}));
  ASSERT_EQ(list.skipped.size(), 2u);
  EXPECT_EQ(list.skipped[0], "line 2: names the list itself; skipped");
  EXPECT_EQ(list.skipped[1], "line 3: names the list itself; skipped");
}

TEST_F(PlaylistFiles, MissingFoldersHugeAndBinaryListsAreRefusedWhole) {
  Playlist list;
  Status s = read_playlist((dir / "missing.m3u").string(), &list);
  EXPECT_TRUE(failed(s));
  EXPECT_EQ(s.message, "No such file or directory");
  s = read_playlist(dir.string(), &list);
  EXPECT_TRUE(failed(s));
  EXPECT_EQ(s.message, "Is a directory");
  s = read_playlist(write("huge.m3u", std::string(MAX_PLAYLIST_BYTES + 1, 'a')), &list);
  EXPECT_TRUE(failed(s));
  EXPECT_EQ(s.message, "larger than 1 MiB; not a list of files");
  s = read_playlist(write("binary.m3u", std::string("a.xm\nExtended Module: \0\x01", 23)), &list);
  EXPECT_TRUE(failed(s));
  EXPECT_EQ(s.message, "binary data (a NUL byte at offset 22); not a list of files");
  EXPECT_TRUE(list.songs.empty()) << "a refused list gives no song";
  EXPECT_EQ(s.code, EXIT_FAILED);
  const std::string exact = write("exact.m3u", std::string(MAX_PLAYLIST_BYTES - 5, '#') + "\nx.xm");
  EXPECT_FALSE(failed(read_playlist(exact, &list))) << "a list of exactly the limit reads";
  EXPECT_EQ(list.songs, (std::vector<std::string>{(dir / "x.xm").string()}));
}

TEST(Playlist, NamesThatArePlaylists) {
  EXPECT_TRUE(is_playlist_name("a.m3u"));
  EXPECT_TRUE(is_playlist_name("dir/A.M3U8"));
  EXPECT_FALSE(is_playlist_name("a.xm"));
  EXPECT_FALSE(is_playlist_name("m3u"));
  EXPECT_FALSE(is_playlist_name("a.m3u.xm"));
}

}  // namespace
