#pragma once
#include <stdexcept>

// The general error kind: every failure the program shows carries only an English message text.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command line that cannot be run; the message says why in one line.
class EBadArguments : public Exception {
 public:
  using Exception::Exception;
};
