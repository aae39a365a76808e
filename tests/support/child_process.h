// Runs a piece of code in a child process and collects its exit status and both output streams, for
// tests of functions that end the process or print.
#pragma once

#include <functional>
#include <string>

struct ChildResult {
  bool exited = false;   // ended through exit (not by a signal)
  int exitCode = -1;     // its status when exited
  std::string out;       // everything written on standard output
  std::string err;       // everything written on standard error
};

// Forks, runs `body` in the child with standard output and standard error sent to temporary files,
// and ends the child with status 0 when `body` returns.
ChildResult runInChild(const std::function<void()>& body);

// Whole content of a file as bytes ("" when it cannot be read).
std::string readFileBytes(const std::string& path);

// Writes raw bytes to a file (for hand-made inputs in tests); returns false when it cannot.
bool writeFileBytes(const std::string& path, const std::string& bytes);

// A fresh empty directory under the system's temporary directory, named after `tag`.
std::string makeTempDir(const std::string& tag);
