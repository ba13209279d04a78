// generator_test.cpp: make-music, run again, writes exactly the committed
// data/typing.xm, so the file and the generator never drift apart.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<char> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(MakeMusic, ReproducesTheCommittedModuleByteForByte) {
#ifndef QM_MAKE_MUSIC
  GTEST_SKIP() << "make-music is not part of this build";
#else
  std::error_code error;
  if (!std::filesystem::exists(QM_MAKE_MUSIC, error)) GTEST_SKIP() << "make-music not built";
  std::filesystem::path out = std::filesystem::temp_directory_path() /
                              ("typing-" + std::to_string(getpid()) + ".xm");
  std::string command = std::string("'") + QM_MAKE_MUSIC + "' '" + out.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::vector<char> made = read_file(out.string());
  std::vector<char> committed = read_file(QM_SOURCE_DIR "/data/typing.xm");
  std::filesystem::remove(out, error);
  ASSERT_FALSE(committed.empty());
  EXPECT_EQ(made.size(), committed.size());
  EXPECT_TRUE(made == committed) << "rebuild data/typing.xm with make-music and commit it";
#endif
}

} // namespace
