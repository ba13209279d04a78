// startup_launch: stamps CLOCK_MONOTONIC into QM_STARTUP_T0_NS and then
// replaces itself with the given program, so that "process start" is the
// moment just before the program's own execution begins.
// Usage: startup_launch PROGRAM [ARGS...]
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: startup_launch PROGRAM [ARGS...]\n");
    return 2;
  }
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const std::string stamp = std::to_string(static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
  setenv("QM_STARTUP_T0_NS", stamp.c_str(), 1);
  execvp(argv[1], argv + 1);
  std::perror("startup_launch: exec");
  return 127;
}
