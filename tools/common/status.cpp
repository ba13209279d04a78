// status.cpp: failures and their messages (see status.h).
// Owns: nothing. Thread: any (print_failure writes standard error whole lines).
#include "tools/common/status.h"

#include <cstdio>
#include <utility>

#include "tools/common/text.h"

Status failure(ExitStatus code, std::string message, int error) {
  Status status;
  status.code = code;
  status.message = std::move(message);
  status.error = error;
  return status;
}

void print_failure(const char* program, const std::string& subject, const std::string& message) {
  if (subject.empty()) {
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
  } else {
    std::fprintf(stderr, "%s: %s: %s\n", program, subject.c_str(), message.c_str());
  }
}

// Built by appending: MinGW's GCC 12 warns falsely (-Wrestrict) about "'" + a temporary.
std::string quoted(const std::string& path) {
  std::string text = "'";
  text += printable(path);
  text += '\'';
  return text;
}
