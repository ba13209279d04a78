// cpu_features_test.cpp: each answer of common/cpu_features.h equals the
// flag the Linux kernel lists for the processor in /proc/cpuinfo; elsewhere
// (another architecture) no wide path is reported.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "common/cpu_features.h"

namespace {

// The value of a field ("vendor_id", "cpu family", ...) of the first
// processor in /proc/cpuinfo; empty when absent.
std::string cpuinfo_field(const std::string& name) {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name, 0) != 0 || line.find(':') == std::string::npos) continue;
    if (line.find_first_not_of(" \t", name.size()) != line.find(':')) continue;
    std::istringstream value(line.substr(line.find(':') + 1));
    std::string word;
    value >> word;
    return word;
  }
  return {};
}

// The flags of the first processor in /proc/cpuinfo; empty when unreadable.
std::set<std::string> kernel_flags() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::set<std::string> flags;
    for (std::string w; words >> w;) flags.insert(w);
    return flags;
  }
  return {};
}

TEST(CpuFeatures, AnswersMatchTheKernelsFlags) {
#ifdef QM_CPU_X86_64
  const std::set<std::string> flags = kernel_flags();
  if (flags.empty()) GTEST_SKIP() << "/proc/cpuinfo lists no flags here";
  const auto has = [&flags](const char* name) { return flags.count(name) == 1; };
  EXPECT_TRUE(cpu_has_sse2());
  EXPECT_EQ(cpu_has_sse2(), has("sse2"));
  EXPECT_EQ(cpu_has_avx(), has("avx"));
  EXPECT_EQ(cpu_has_avx2(), has("avx2"));
  EXPECT_EQ(cpu_has_avx512f(), has("avx512f"));
  EXPECT_EQ(cpu_has_avx512_mixer(),
            has("avx2") && has("avx512f") && has("avx512dq") && has("avx512bw") && has("avx512vl"));
#else
  EXPECT_FALSE(cpu_has_sse2());
  EXPECT_FALSE(cpu_has_avx());
  EXPECT_FALSE(cpu_has_avx2());
  EXPECT_FALSE(cpu_has_avx512f());
  EXPECT_FALSE(cpu_has_avx512_mixer());
#endif
}

// The processors that run 256-bit vectors as two halves: AMD's family 15h
// and family 17h models before 30h (Zen and Zen+).
TEST(CpuFeatures, SplitVectorsOnlyOnEarlyAmdFamilies) {
#ifdef QM_CPU_X86_64
  const std::string vendor = cpuinfo_field("vendor_id"), family = cpuinfo_field("cpu family"),
                    model = cpuinfo_field("model");
  if (vendor.empty() || family.empty() || model.empty()) GTEST_SKIP() << "/proc/cpuinfo names no processor here";
  const int f = std::stoi(family), m = std::stoi(model);
  const bool amd = vendor == "AuthenticAMD";
  EXPECT_EQ(cpu_splits_256bit(), amd && (f == 0x15 || (f == 0x17 && m < 0x30)))
      << vendor << " family " << f << " model " << m;
#else
  EXPECT_FALSE(cpu_splits_256bit());
#endif
}

}  // namespace
