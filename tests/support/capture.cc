// Stream capture, the one place that leans on the test framework's own.
#include "capture.h"

#include <gtest/gtest.h>

std::string capture_stderr(const std::function<void()> &fn) {
  testing::internal::CaptureStderr();
  fn();
  return testing::internal::GetCapturedStderr();
}

std::string capture_stdout(const std::function<void()> &fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}
