// command_line_test.cpp: the tools' option scanner and its conventions, the
// exit table, --help and --version (also to a full standard output), the
// version against the music library's, and the progress bar's line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "quillmere/music.h"
#include "tools/common/command_line.h"
#include "tools/common/progress_bar.h"
#include "tools/common/version.h"

namespace {

// Runs f with descriptor fd (1 or 2) going to a temporary file; returns what
// was written there.
std::string captured(int fd, const std::function<void()>& f) {
  FILE* stream = fd == STDOUT_FILENO ? stdout : stderr;
  std::fflush(stream);
  char path[] = "/tmp/qm-kit-capture.XXXXXX";
  const int file = mkstemp(path);
  const int saved = dup(fd);
  dup2(file, fd);
  f();
  std::fflush(stream);
  dup2(saved, fd);
  close(saved);
  std::string text;
  char buffer[4096];
  lseek(file, 0, SEEK_SET);
  for (ssize_t n; (n = read(file, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(file);
  unlink(path);
  return text;
}

// What a scan of words saw: each argument with its kind, and the values of -o and --rate.
struct Seen {
  std::vector<std::string> arguments;  // non-options, in order
  std::vector<std::string> options;    // options that are neither -o nor --rate nor -q
  std::vector<std::string> outputs;    // values of -o ("(missing)" when absent)
  std::vector<std::string> rates;      // values of --rate
  bool quiet = false;
  CommandLine outcome = COMMAND_RUN;
  bool refused = false;
};

Seen scan(std::vector<std::string> words) {
  words.insert(words.begin(), "tool");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  OptionScanner s = scan_begin("tool", "usage: tool\n", static_cast<int>(argv.size()), argv.data());
  Seen seen;
  const char* v = nullptr;
  while (scan_next(&s)) {
    if (const CommandLine c = scan_help_or_version(s); c != COMMAND_RUN) {
      seen.outcome = c;
      break;
    }
    if (!s.is_option) seen.arguments.emplace_back(s.arg);
    else if (scan_flag(s, "-q", "--quiet")) seen.quiet = true;
    else if (scan_value(&s, "-o", &v)) seen.outputs.emplace_back(v != nullptr ? v : "(missing)");
    else if (scan_value(&s, "--rate", &v)) seen.rates.emplace_back(v != nullptr ? v : "(missing)");
    else seen.options.emplace_back(s.arg);
  }
  seen.refused = s.refused;
  return seen;
}

using Words = std::vector<std::string>;

TEST(OptionScanner, ValuesInEveryForm) {
  const Seen seen = scan({"-o", "a.wav", "-ob.wav", "-o=c.wav", "--rate", "22050", "--rate=48000", "-o", "-"});
  EXPECT_EQ(seen.outputs, (Words{"a.wav", "b.wav", "c.wav", "-"}));
  EXPECT_EQ(seen.rates, (Words{"22050", "48000"}));
  EXPECT_TRUE(seen.arguments.empty());
  // The value is the next argument whatever it looks like, and a missing one is null.
  EXPECT_EQ(scan({"-o", "--rate"}).outputs, Words{"--rate"});
  EXPECT_EQ(scan({"-o", "--", "x"}).outputs, Words{"--"});
  EXPECT_EQ(scan({"x", "--rate"}).rates, Words{"(missing)"});
  // A long option is not matched by a longer one beginning the same way.
  const Seen longer = scan({"--rates", "1", "--rate5"});
  EXPECT_TRUE(longer.rates.empty());
  EXPECT_EQ(longer.options, (Words{"--rates", "--rate5"}));
  EXPECT_EQ(longer.arguments, Words{"1"});
}

TEST(OptionScanner, DashesAndArguments) {
  const Seen seen = scan({"-", "song.xm", "-q", "--", "-o", "--", "-q", "--help"});
  EXPECT_EQ(seen.arguments, (Words{"-", "song.xm", "-o", "--", "-q", "--help"}));
  EXPECT_TRUE(seen.quiet);
  EXPECT_TRUE(seen.outputs.empty()) << "after --, -o is a file";
  EXPECT_EQ(seen.outcome, COMMAND_RUN) << "after --, --help is a file";
  EXPECT_TRUE(seen.options.empty());
}

TEST(OptionScanner, HelpAndVersionWinWhereverTheyStand) {
  EXPECT_EQ(scan({"a.xm", "--bogus", "-h"}).outcome, COMMAND_HELP);
  EXPECT_EQ(scan({"--help", "--version"}).outcome, COMMAND_HELP);
  EXPECT_EQ(scan({"-o", "x", "--version"}).outcome, COMMAND_VERSION);
  EXPECT_EQ(scan({"-o", "--help"}).outcome, COMMAND_RUN) << "a value, not the option";
  EXPECT_EQ(scan({"--helpful"}).outcome, COMMAND_RUN);
}

TEST(OptionScanner, ARefusalIsPrintedWithTheUsageAndEndsTheScan) {
  const char* argv[] = {"tool", "--bad", "more"};
  OptionScanner s = scan_begin("tool", "usage: tool FILE\n", 3, argv);
  ASSERT_TRUE(scan_next(&s));
  CommandLine outcome = COMMAND_RUN;
  const std::string err = captured(STDERR_FILENO, [&] { outcome = scan_refuse(&s, "unknown option '--bad'"); });
  EXPECT_EQ(outcome, COMMAND_BAD);
  EXPECT_EQ(err, "tool: unknown option '--bad'\nusage: tool FILE\n");
  EXPECT_TRUE(s.refused);
  EXPECT_FALSE(scan_next(&s)) << "nothing is scanned after a refusal";
  const std::string bare = captured(STDERR_FILENO, [&] { scan_refuse(&s, "--rate: wants a number", WITHOUT_USAGE); });
  EXPECT_EQ(bare, "tool: --rate: wants a number\n");
}

TEST(Numbers, WholeAndRealWithinTheirRanges) {
  int64_t whole = -1;
  EXPECT_TRUE(parse_whole("42", 0, 42, &whole));
  EXPECT_EQ(whole, 42);
  EXPECT_TRUE(parse_whole("-7", -7, 0, &whole));
  EXPECT_EQ(whole, -7);
  for (const char* bad : {"43", "-1", "", "4x", "4 ", "4.0", "99999999999999999999"}) {
    EXPECT_FALSE(parse_whole(bad, 0, 42, &whole)) << bad;
  }
  EXPECT_EQ(whole, -7) << "a refused number leaves the value alone";
  double real = 0;
  EXPECT_TRUE(parse_real("-6.5", -60, 24, &real));
  EXPECT_EQ(real, -6.5);
  EXPECT_TRUE(parse_real("24", -60, 24, &real));
  for (const char* bad : {"24.01", "nan", "inf", "", "1e999", "3dB"}) {
    EXPECT_FALSE(parse_real(bad, -60, 24, &real)) << bad;
  }
}

TEST(ExitTable, EveryProgramsStatuses) {
  EXPECT_EQ(EXIT_OK, 0);
  EXPECT_EQ(EXIT_FAILED, 1);
  EXPECT_EQ(EXIT_USAGE, 2);
  EXPECT_EQ(EXIT_STRICT, 3);
  EXPECT_EQ(EXIT_SHOW_DATA, 255);
  const Status s = failure(EXIT_STRICT, "a warning", 0);
  EXPECT_TRUE(failed(s));
  EXPECT_FALSE(failed(Status{}));
  EXPECT_EQ(captured(STDERR_FILENO, [] { print_failure("tool", "a.xm", "cannot open"); }), "tool: a.xm: cannot open\n");
  EXPECT_EQ(captured(STDERR_FILENO, [] { print_failure("tool", "", "no device"); }), "tool: no device\n");
}

TEST(HelpAndVersion, PrintedOnStandardOutput) {
  ExitStatus status = EXIT_FAILED;
  std::string out = captured(STDOUT_FILENO, [&] { status = command_line_done(COMMAND_HELP, "tool", "usage: tool\n"); });
  EXPECT_EQ(status, EXIT_OK);
  EXPECT_EQ(out, "usage: tool\n");
  out = captured(STDOUT_FILENO, [&] { status = command_line_done(COMMAND_VERSION, "tool", "usage: tool\n"); });
  EXPECT_EQ(status, EXIT_OK);
  EXPECT_EQ(out, std::string("tool ") + QUILLMERE_VERSION + "\n");
  out = captured(STDOUT_FILENO, [&] { status = command_line_done(COMMAND_BAD, "tool", "usage: tool\n"); });
  EXPECT_EQ(status, EXIT_USAGE);
  EXPECT_EQ(out, "");
}

TEST(HelpAndVersion, AFullStandardOutputFails) {
  const int full = open("/dev/full", O_WRONLY);
  if (full < 0) GTEST_SKIP() << "no /dev/full";
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  dup2(full, STDOUT_FILENO);
  ExitStatus help = EXIT_OK;
  ExitStatus version = EXIT_OK;
  const std::string err = captured(STDERR_FILENO, [&] {
    help = print_text("tool", "usage: tool\n");
    clearerr(stdout);
    version = print_version("tool");
  });
  clearerr(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(full);
  EXPECT_EQ(help, EXIT_FAILED);
  EXPECT_EQ(version, EXIT_FAILED);
  EXPECT_EQ(err, "tool: standard output: No space left on device\ntool: standard output: No space left on device\n");
}

TEST(Version, OneVersionForTheProgramsAndTheLibrary) {
  EXPECT_STREQ(qm_version(), QUILLMERE_VERSION);
}

TEST(ProgressBar, DrawsThrottlesClearsAndFinishes) {
  ProgressBar bar = progress_bar(true);
  const std::string first = captured(STDERR_FILENO, [&] { progress_draw(&bar, 0.5, "song.xm"); });
  EXPECT_EQ(first, "\r\033[K[################................]  50.0%  song.xm");
  EXPECT_TRUE(bar.drawn);
  EXPECT_EQ(captured(STDERR_FILENO, [&] { progress_draw(&bar, 0.6, "song.xm"); }), "") << "drawn just now";
  EXPECT_EQ(captured(STDERR_FILENO, [&] { progress_clear(&bar); }), "\r\033[K");
  EXPECT_EQ(captured(STDERR_FILENO, [&] { progress_clear(&bar); }), "") << "nothing to clear";
  const std::string last = captured(STDERR_FILENO, [&] { progress_finish(&bar, 2.0, "done"); });
  EXPECT_EQ(last, "\r\033[K[################################] 100.0%  done\n") << "a share above 1 is full";
  ProgressBar off = progress_bar(false);
  EXPECT_EQ(captured(STDERR_FILENO, [&] {
              progress_draw(&off, 0.5, "x");
              progress_finish(&off, 1.0, "x");
            }),
            "");
}

TEST(ProgressBar, WantedOnlyWhereAsked) {
  EXPECT_TRUE(progress_wanted(ProgressMode::ON, true));
  EXPECT_FALSE(progress_wanted(ProgressMode::OFF, false));
  EXPECT_FALSE(progress_wanted(ProgressMode::AUTO, true)) << "-q";
  EXPECT_EQ(progress_wanted(ProgressMode::AUTO, false), isatty(STDERR_FILENO) != 0);
}

}  // namespace
