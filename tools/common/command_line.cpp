// command_line.cpp: the option scanner, numbers, help and version (see
// command_line.h).
// Owns: nothing. Thread: main.
#include "tools/common/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/common/version.h"

namespace {

bool is_short_name(const char* name) { return name[0] == '-' && name[1] != '-' && name[1] != '\0' && name[2] == '\0'; }

}  // namespace

OptionScanner scan_begin(const char* program, const char* usage, int argc, const char* const* argv) {
  OptionScanner s;
  s.program = program;
  s.usage = usage;
  s.argc = argc;
  s.argv = argv;
  return s;
}

bool scan_next(OptionScanner* s) {
  if (s->refused) return false;
  for (;;) {
    if (++s->index >= s->argc) {
      s->arg = nullptr;
      s->is_option = false;
      return false;
    }
    s->arg = s->argv[s->index];
    if (!s->after_dashes && std::strcmp(s->arg, "--") == 0) {
      s->after_dashes = true;
      continue;
    }
    s->is_option = !s->after_dashes && s->arg[0] == '-' && s->arg[1] != '\0';
    return true;
  }
}

CommandLine scan_help_or_version(const OptionScanner& s) {
  if (scan_flag(s, "-h", "--help")) return COMMAND_HELP;
  if (scan_flag(s, "--version")) return COMMAND_VERSION;
  return COMMAND_RUN;
}

bool scan_flag(const OptionScanner& s, const char* name, const char* other_name) {
  if (!s.is_option) return false;
  return std::strcmp(s.arg, name) == 0 || (other_name != nullptr && std::strcmp(s.arg, other_name) == 0);
}

bool scan_value(OptionScanner* s, const char* name, const char** value) {
  if (!s->is_option) return false;
  const size_t length = std::strlen(name);
  if (std::strncmp(s->arg, name, length) != 0) return false;
  const char* rest = s->arg + length;
  if (*rest == '=') {
    *value = rest + 1;
  } else if (*rest != '\0') {
    if (!is_short_name(name)) return false;  // another option that begins the same way
    *value = rest;
  } else {
    *value = s->index + 1 < s->argc ? s->argv[++s->index] : nullptr;
  }
  return true;
}

CommandLine scan_refuse(OptionScanner* s, const std::string& message, Usage usage) {
  std::fprintf(stderr, "%s: %s\n", s->program, message.c_str());
  if (usage == WITH_USAGE && s->usage != nullptr) std::fputs(s->usage, stderr);
  s->refused = true;
  return COMMAND_BAD;
}

bool parse_whole(const char* text, int64_t lo, int64_t hi, int64_t* value) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
  *value = v;
  return true;
}

bool parse_real(const char* text, double lo, double hi, double* value) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
  *value = v;
  return true;
}

ExitStatus print_text(const char* program, const std::string& text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return EXIT_OK;
  print_failure(program, "standard output", std::strerror(errno));
  return EXIT_FAILED;
}

ExitStatus print_version(const char* program) {
  return print_text(program, std::string(program) + " " + QUILLMERE_VERSION + "\n");
}

ExitStatus command_line_done(CommandLine outcome, const char* program, const std::string& help) {
  switch (outcome) {
    case COMMAND_HELP: return print_text(program, help);
    case COMMAND_VERSION: return print_version(program);
    case COMMAND_BAD: return EXIT_USAGE;
    case COMMAND_RUN: break;
  }
  return EXIT_OK;
}
