// Test helper: what a piece of code writes on file descriptor 1.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace ondravane::test_support {

// Runs `body` with file descriptor 1 (and 2, to keep failure reports out of
// the test log) redirected, and returns what reached file descriptor 1.
template <typename Body>
inline std::string capture_stdout(Body&& body) {
  std::fflush(stdout);
  char path[] = "/tmp/reader_stdout.XXXXXX";
  const int capture = ::mkstemp(path);
  const int null = ::open("/dev/null", O_WRONLY);
  const int saved_out = ::dup(1);
  const int saved_err = ::dup(2);
  ::dup2(capture, 1);
  ::dup2(null, 2);
  auto restore = [&] {
    ::dup2(saved_out, 1);
    ::dup2(saved_err, 2);
    ::close(saved_out);
    ::close(saved_err);
    ::close(null);
  };
  try {
    body();
  } catch (...) {
    restore();
    ::close(capture);
    ::unlink(path);
    throw;
  }
  restore();
  std::string text;
  char buffer[4096];
  ::lseek(capture, 0, SEEK_SET);
  for (ssize_t n; (n = ::read(capture, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(capture);
  ::unlink(path);
  return text;
}

}  // namespace ondravane::test_support
