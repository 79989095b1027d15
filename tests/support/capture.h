// What a piece of test code writes to a standard stream.
#ifndef TAVIK_TESTS_CAPTURE_H
#define TAVIK_TESTS_CAPTURE_H

#include <functional>
#include <string>

// Runs fn and returns what it wrote to standard error.
std::string capture_stderr(const std::function<void()> &fn);

// Runs fn and returns what it wrote to standard output.
std::string capture_stdout(const std::function<void()> &fn);

#endif
