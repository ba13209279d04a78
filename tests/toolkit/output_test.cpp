// output_test.cpp: the tools' atomic output (a new file, a replaced one
// synced and keeping its permissions, links kept, dangling ones followed,
// the refusals, a stop) and
// the stop signals, each in a child process: every signal of the set stops
// the orderly way and ends the process by itself, a second one removes the
// temporary files at once and runs the hook, an ignored one stays ignored,
// workers keep all but SIGPIPE away.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tools/common/atomic_output.h"
#include "tools/common/stop_signals.h"

namespace {

// The files fsync was called on (device, inode), recorded by the fsync below.
std::vector<std::pair<dev_t, ino_t>> g_synced;

}  // namespace

// Takes the place of the C library's fsync in this program, so the tests see
// which files the kit syncs; the sync itself still happens.
extern "C" int fsync(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0) g_synced.emplace_back(st.st_dev, st.st_ino);
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

bool was_synced(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return std::find(g_synced.begin(), g_synced.end(), std::make_pair(st.st_dev, st.st_ino)) != g_synced.end();
}

// A fresh folder, removed with what it holds at the end of the test.
class Folder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qm-kit-output.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    g_synced.clear();
  }
  void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

  std::string path(const std::string& name) const { return dir + "/" + name; }

  // The names in the folder (hidden ones too), sorted.
  std::vector<std::string> names(const std::string& sub = "") const {
    std::vector<std::string> found;
    DIR* d = opendir((dir + sub).c_str());
    while (const dirent* e = d != nullptr ? readdir(d) : nullptr) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) found.emplace_back(e->d_name);
    }
    if (d != nullptr) closedir(d);
    std::sort(found.begin(), found.end());
    return found;
  }

  std::string dir;
};

void write_text(const std::string& path, const std::string& text, mode_t mode = 0644) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  fchmod(fd, mode);
  close(fd);
}

std::string read_text(const std::string& path) {
  std::string text;
  char buffer[256];
  const int fd = open(path.c_str(), O_RDONLY);
  for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  if (fd >= 0) close(fd);
  return text;
}

mode_t mode_of(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

bool put(const AtomicFile& f, const std::string& text) {
  return write(f.fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

using Names = std::vector<std::string>;

TEST_F(Folder, ANewFileAppearsOnlyWhenCommitted) {
  const mode_t before = umask(027);
  remember_umask();
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, path("new.wav"), CLOBBER_REPLACE)));
  EXPECT_FALSE(f.replaces);
  const Names during = names();
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(during[0].rfind(".new.wav.", 0), 0u) << "a hidden file beside the target: " << during[0];
  ASSERT_TRUE(put(f, "new data"));
  EXPECT_FALSE(failed(atomic_commit(&f, CLOBBER_REPLACE)));
  EXPECT_EQ(names(), Names{"new.wav"});
  EXPECT_EQ(read_text(path("new.wav")), "new data");
  EXPECT_EQ(mode_of(path("new.wav")), 0640u) << "0666 without the umask";
  EXPECT_FALSE(was_synced(path("new.wav"))) << "a new file risks nothing: no sync";
  EXPECT_TRUE(f.temp.empty());
  EXPECT_EQ(f.fd, -1);
  umask(before);
  remember_umask();
}

TEST_F(Folder, AReplacedFileIsSyncedAndKeepsItsPermissions) {
  write_text(path("old.wav"), "old", 0604);
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, path("old.wav"), CLOBBER_REPLACE)));
  EXPECT_TRUE(f.replaces);
  ASSERT_TRUE(put(f, "replaced"));
  EXPECT_EQ(read_text(path("old.wav")), "old") << "untouched until the commit";
  ASSERT_FALSE(failed(atomic_commit(&f, CLOBBER_REPLACE)));
  EXPECT_EQ(read_text(path("old.wav")), "replaced");
  EXPECT_EQ(mode_of(path("old.wav")), 0604u);
  EXPECT_TRUE(was_synced(path("old.wav"))) << "the new data reaches the disk before the rename";
  EXPECT_TRUE(was_synced(dir)) << "and the rename with the folder";
  EXPECT_EQ(names(), Names{"old.wav"});
}

TEST_F(Folder, ALinkKeepsPointingWhereItDid) {
  ASSERT_EQ(mkdir(path("links").c_str(), 0755), 0);
  write_text(path("real.wav"), "old");
  ASSERT_EQ(symlink("../real.wav", path("links/link.wav").c_str()), 0);
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, path("links/link.wav"), CLOBBER_REPLACE)));
  EXPECT_EQ(names("/links"), Names{"link.wav"}) << "the temporary file lies beside the file replaced";
  ASSERT_TRUE(put(f, "through the link"));
  ASSERT_FALSE(failed(atomic_commit(&f, CLOBBER_REPLACE)));
  struct stat st {};
  ASSERT_EQ(lstat(path("links/link.wav").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
  EXPECT_EQ(read_text(path("real.wav")), "through the link");
  EXPECT_EQ(names(), (Names{"links", "real.wav"}));
}

TEST_F(Folder, ADanglingLinkGetsItsFileWhereItPoints) {
  ASSERT_EQ(mkdir(path("links").c_str(), 0755), 0);
  ASSERT_EQ(symlink("../later.wav", path("links/first.wav").c_str()), 0);
  ASSERT_EQ(symlink("first.wav", path("links/chain.wav").c_str()), 0);
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, path("links/chain.wav"), CLOBBER_REPLACE)));
  EXPECT_FALSE(f.replaces);
  ASSERT_TRUE(put(f, "made at the end of the links"));
  ASSERT_FALSE(failed(atomic_commit(&f, CLOBBER_REPLACE)));
  struct stat st {};
  ASSERT_EQ(lstat(path("links/chain.wav").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link became a file";
  EXPECT_EQ(read_text(path("later.wav")), "made at the end of the links");
  EXPECT_EQ(names(), (Names{"later.wav", "links"}));
}

TEST_F(Folder, RefusalsSayWhyAndLeaveNothing) {
  ASSERT_EQ(mkdir(path("folder.wav").c_str(), 0755), 0);
  write_text(path("kept.wav"), "kept");
  ASSERT_EQ(symlink("nowhere", path("dangling.wav").c_str()), 0);
  ASSERT_EQ(symlink("loop-b.wav", path("loop-a.wav").c_str()), 0);
  ASSERT_EQ(symlink("loop-a.wav", path("loop-b.wav").c_str()), 0);
  write_text(path("locked.wav"), "locked", 0444);
  struct Case {
    std::string target;
    Clobber clobber;
    int error;
    std::string message;
  };
  const Case cases[] = {
      {path("folder.wav"), CLOBBER_REPLACE, EISDIR, "'" + path("folder.wav") + "' is a folder"},
      {path("missing/x.wav"), CLOBBER_REPLACE, ENOENT,
       "cannot create a file in '" + path("missing") + "': No such file or directory"},
      {path("kept.wav/x.wav"), CLOBBER_REPLACE, ENOTDIR,
       "cannot create a file in '" + path("kept.wav") + "': Not a directory"},
      {path("kept.wav"), CLOBBER_KEEP, EEXIST, "'" + path("kept.wav") + "' exists; not overwritten (--no-clobber)"},
      {path("dangling.wav"), CLOBBER_KEEP, EEXIST,
       "'" + path("dangling.wav") + "' exists; not overwritten (--no-clobber)"},
      {path("locked.wav"), CLOBBER_REPLACE, EACCES, "'" + path("locked.wav") + "' is read-only; not overwritten"},
      {path("loop-a.wav"), CLOBBER_REPLACE, ELOOP, "'" + path("loop-a.wav") + "': Too many levels of symbolic links"},
  };
  for (const Case& c : cases) {
    AtomicFile f;
    const Status s = atomic_open(&f, c.target, c.clobber);
    EXPECT_EQ(s.code, EXIT_FAILED) << c.target;
    EXPECT_EQ(s.error, c.error) << c.target;
    EXPECT_EQ(s.message, c.message);
    EXPECT_EQ(f.fd, -1);
    EXPECT_TRUE(f.temp.empty());
  }
  EXPECT_EQ(names(), (Names{"dangling.wav", "folder.wav", "kept.wav", "locked.wav", "loop-a.wav", "loop-b.wav"}));
  EXPECT_EQ(read_text(path("kept.wav")), "kept");
  EXPECT_EQ(read_text(path("locked.wav")), "locked");
}

TEST_F(Folder, KeepingRefusesAFileThatAppearedMeanwhile) {
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, path("race.wav"), CLOBBER_KEEP)));
  ASSERT_TRUE(put(f, "mine"));
  write_text(path("race.wav"), "theirs");
  const Status s = atomic_commit(&f, CLOBBER_KEEP);
  EXPECT_EQ(s.error, EEXIST);
  EXPECT_EQ(read_text(path("race.wav")), "theirs");
  EXPECT_EQ(names(), Names{"race.wav"}) << "the temporary file is removed";
}

TEST_F(Folder, DiscardAndFailedCommitsRemoveTheTemporaryFile) {
  write_text(path("old.wav"), "old");
  AtomicFile f;
  ASSERT_FALSE(failed(atomic_open(&f, path("old.wav"), CLOBBER_REPLACE)));
  ASSERT_TRUE(put(f, "new"));
  atomic_discard(&f);
  atomic_discard(&f);
  EXPECT_EQ(names(), Names{"old.wav"});
  EXPECT_EQ(read_text(path("old.wav")), "old");
  EXPECT_TRUE(failed(atomic_commit(&f, CLOBBER_REPLACE))) << "nothing left to commit";

  AtomicFile g;
  ASSERT_FALSE(failed(atomic_open(&g, path("old.wav"), CLOBBER_REPLACE)));
  ASSERT_EQ(unlink(g.temp.c_str()), 0);  // gone before the rename
  const Status s = atomic_commit(&g, CLOBBER_REPLACE);
  EXPECT_EQ(s.error, ENOENT);
  EXPECT_EQ(s.message.rfind("cannot replace '" + path("old.wav") + "': ", 0), 0u) << s.message;
  EXPECT_EQ(read_text(path("old.wav")), "old");
}

TEST(SameFile, ByDeviceAndInode) {
  EXPECT_TRUE(same_file("/", "/."));
  EXPECT_FALSE(same_file("/", "/tmp"));
  EXPECT_FALSE(same_file("/no/such/file", "/no/such/file")) << "what does not exist is no file";
}

// ---- Stop signals, each in a child process ---------------------------------

// Runs body in a child process (its return value the child's status);
// returns the wait status.
int in_child(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);  // SIGQUIT's default action writes no core here
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

// Makes signal s arrive: a raise, or for SIGPIPE a write into a pipe nobody
// reads, which must fail with EPIPE rather than end the process.
bool deliver(int s) {
  if (s != SIGPIPE) return raise(s) == 0;
  int fds[2];
  if (pipe(fds) != 0) return false;
  close(fds[0]);
  const bool refused = write(fds[1], "x", 1) < 0 && errno == EPIPE;
  close(fds[1]);
  return refused;
}

constexpr int CHILD_WRONG = 10;

TEST_F(Folder, EveryStopSignalStopsTheOrderlyWayAndEndsByItself) {
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    const int status = in_child([&] {
      install_stop_handlers();
      AtomicFile f;
      if (failed(atomic_open(&f, path("out.wav"), CLOBBER_REPLACE)) || !put(f, "data")) return CHILD_WRONG;
      if (stop_requested() || !deliver(s)) return CHILD_WRONG + 1;
      if (!stop_requested() || stop_signal() != s) return CHILD_WRONG + 2;
      const Status committed = atomic_commit(&f, CLOBBER_REPLACE);
      if (committed.message != "stopped; nothing written" || committed.error != EINTR) return CHILD_WRONG + 3;
      end_by_stop_signal();
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == s) << strsignal(s) << ": wait status " << status;
    EXPECT_EQ(names(), Names{}) << strsignal(s);
  }
}

int g_hook_fd = -1;  // where the hook below writes
void hook() { (void)!write(g_hook_fd, "hook", 4); }

TEST_F(Folder, ASecondSignalRemovesEveryTemporaryFileAndRunsTheHook) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int status = in_child([&] {
    close(fds[0]);
    g_hook_fd = fds[1];
    install_stop_handlers();
    set_stop_hook(hook);
    AtomicFile a, b;
    if (failed(atomic_open(&a, path("a.wav"), CLOBBER_REPLACE))) return CHILD_WRONG;
    if (failed(atomic_open(&b, path("b.flac"), CLOBBER_REPLACE))) return CHILD_WRONG;
    raise(SIGTERM);
    if (names().size() != 2) return CHILD_WRONG + 1;  // the first only asks
    raise(SIGHUP);
    return CHILD_WRONG + 2;  // not reached
  });
  close(fds[1]);
  char said[8] = {};
  EXPECT_EQ(read(fds[0], said, sizeof said), 4);
  close(fds[0]);
  EXPECT_STREQ(said, "hook");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << "wait status " << status;
  EXPECT_EQ(names(), Names{});
}

TEST(StopSignals, ASignalIgnoredFromTheStartStaysIgnored) {
  const int status = in_child([] {
    signal(SIGHUP, SIG_IGN);
    install_stop_handlers();
    raise(SIGHUP);
    struct sigaction xfsz {};
    sigaction(SIGXFSZ, nullptr, &xfsz);
    if (xfsz.sa_handler != SIG_IGN) return CHILD_WRONG;  // a file-size limit fails the write instead
    return stop_requested() ? CHILD_WRONG + 1 : 0;
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

TEST(StopSignals, WorkersKeepAllButThePipeSignalAway) {
  sigset_t blocked;
  std::thread worker([&] {
    block_stop_signals();
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
  });
  worker.join();
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) EXPECT_EQ(sigismember(&blocked, s), 1) << strsignal(s);
  EXPECT_EQ(sigismember(&blocked, SIGPIPE), 0);
  // A worker's write into a closed pipe stops the whole run the orderly way.
  const int status = in_child([] {
    install_stop_handlers();
    bool refused = false;
    std::thread pipe_writer([&] {
      block_stop_signals();
      refused = deliver(SIGPIPE);
    });
    pipe_writer.join();
    return refused && stop_signal() == SIGPIPE ? 0 : CHILD_WRONG;
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

TEST(StopSignals, TheTableOfTemporaryFilesHasItsLimits) {
  const int status = in_child([] {
    const std::string too_long(PATH_MAX, 'x');
    if (register_temp_file(too_long.c_str()) != -1) return CHILD_WRONG;
    std::vector<int> slots;
    for (int slot; (slot = register_temp_file("/tmp/qm-kit-never-made")) >= 0;) slots.push_back(slot);
    if (slots.size() < 8) return CHILD_WRONG + 1;  // room for a file per thread
    unregister_temp_file(slots[3]);
    if (register_temp_file("/tmp/qm-kit-never-made") != slots[3]) return CHILD_WRONG + 2;
    unregister_temp_file(-1);
    return 0;
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

}  // namespace
