// The Windows sides below the show: the wave-out position carried past its
// 32-bit wrap, and the tools' kit on Windows files (atomic output: whole or
// nothing, kept or replaced, the same file through another name) and its
// error texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "runtime/audio_waveout.h"
#include "tools/common/atomic_output.h"
#include "tools/common/win32_errors.h"

namespace {

TEST(WaveOutPosition, GrowsAcrossTheWrapOfItsByteCount) {
  constexpr uint64_t WRAP = uint64_t{1} << 32;
  EXPECT_EQ(qm::extend_byte_position(0, 1000), 1000u);
  EXPECT_EQ(qm::extend_byte_position(WRAP - 100, 50), WRAP + 50);          // wrapped since
  EXPECT_EQ(qm::extend_byte_position(3 * WRAP + 10, 20), 3 * WRAP + 20);    // later passes keep their base
  EXPECT_EQ(qm::extend_byte_position(WRAP + 5000, 4000), WRAP + 4000);      // an older reading is no wrap
}

std::string folder() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string path = std::string(base) + "qm-kit-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int files_in(const std::string& dir) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &data);
  int n = 0;
  if (h == INVALID_HANDLE_VALUE) return 0;
  do n += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
  while (FindNextFileA(h, &data));
  FindClose(h);
  return n;
}

void write_through(AtomicFile* f, const std::string& bytes) {
  ASSERT_EQ(_write(f->fd, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
}

TEST(AtomicOutputOnWindows, AFileAppearsWholeWithItsBytesUnchanged) {
  const std::string dir = folder(), target = dir + "\\out.raw";
  DeleteFileA(target.c_str());
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, target, CLOBBER_REPLACE)));
  write_through(&f, std::string("a\nb\r\n\x1a", 6));  // no text-mode translation
  EXPECT_EQ(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES);  // not there before the commit
  ASSERT_FALSE(failed(atomic_commit(&f, CLOBBER_REPLACE)));
  EXPECT_EQ(read_all(target), std::string("a\nb\r\n\x1a", 6));
  EXPECT_EQ(files_in(dir), 1);
  DeleteFileA(target.c_str());
}

TEST(AtomicOutputOnWindows, ReplacesOrKeepsAnExistingFileAndDiscardsLeaveNothing) {
  const std::string dir = folder(), target = dir + "\\kept.wav";
  std::ofstream(target, std::ios::binary) << "old";
  AtomicFile keep;
  const Status refused = atomic_open(&keep, target, CLOBBER_KEEP);
  EXPECT_EQ(refused.error, EEXIST);
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, target, CLOBBER_REPLACE)));
  EXPECT_TRUE(f.replaces);
  write_through(&f, "new");
  atomic_discard(&f);
  EXPECT_EQ(read_all(target), "old");
  EXPECT_EQ(files_in(dir), 1);
  ASSERT_FALSE(failed(atomic_open(&f, target, CLOBBER_REPLACE)));
  write_through(&f, "new");
  ASSERT_FALSE(failed(atomic_commit(&f, CLOBBER_REPLACE)));
  EXPECT_EQ(read_all(target), "new");
  EXPECT_EQ(files_in(dir), 1);
  DeleteFileA(target.c_str());
}

TEST(AtomicOutputOnWindows, NoClobberKeepsAFileThatAppearedWhileWriting) {
  const std::string dir = folder(), target = dir + "\\late.wav";
  DeleteFileA(target.c_str());
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, target, CLOBBER_KEEP)));
  write_through(&f, "new");
  std::ofstream(target, std::ios::binary) << "other";
  EXPECT_EQ(atomic_commit(&f, CLOBBER_KEEP).error, EEXIST);
  EXPECT_EQ(read_all(target), "other");
  EXPECT_EQ(files_in(dir), 1);  // the temporary file is gone
  DeleteFileA(target.c_str());
}

TEST(AtomicOutputOnWindows, RefusesAFolderAndAFolderThatDoesNotExist) {
  const std::string dir = folder();
  AtomicFile f;
  EXPECT_EQ(atomic_open(&f, dir, CLOBBER_REPLACE).error, EISDIR);
  const Status missing = atomic_open(&f, dir + "\\no-such-folder\\x.wav", CLOBBER_REPLACE);
  EXPECT_TRUE(failed(missing));
  EXPECT_EQ(missing.error, ENOENT) << missing.message;
}

TEST(AtomicOutputOnWindows, TheSameFileUnderTwoSpellingsIsTheSame) {
  const std::string dir = folder(), a = dir + "\\same.xm";
  std::ofstream(a, std::ios::binary) << "x";
  EXPECT_TRUE(same_file(a, dir + "/same.xm"));
  EXPECT_TRUE(same_file(a, dir + "\\.\\SAME.XM"));
  EXPECT_FALSE(same_file(a, dir + "\\other.xm"));
  DeleteFileA(a.c_str());
}

TEST(Win32Errors, MapToTheErrnoOfTheSameMeaning) {
  EXPECT_EQ(errno_of_win32(ERROR_FILE_NOT_FOUND), ENOENT);
  EXPECT_EQ(errno_of_win32(ERROR_ACCESS_DENIED), EACCES);
  EXPECT_EQ(errno_of_win32(ERROR_DISK_FULL), ENOSPC);
  EXPECT_EQ(errno_of_win32(ERROR_ALREADY_EXISTS), EEXIST);
  EXPECT_EQ(errno_of_win32(ERROR_GEN_FAILURE), EIO);
}

}  // namespace
