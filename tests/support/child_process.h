// Runs a piece of code in a child process and collects its exit status and both output streams, for
// tests of functions that end the process or print.
#pragma once

#include <sys/types.h>

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

// The same, with `meanwhile` run in the parent (given the child's process id) while the child runs,
// before it is waited for: for tests that act on the child's input as it reads.
ChildResult runInChild(const std::function<void()>& body, const std::function<void(pid_t)>& meanwhile);

// Waits until the process `pid` sleeps in a read system call (as /proc/<pid>/syscall shows it): on a
// terminal or a pipe, once it has read all that was written and waits for more. False when the
// process ends first or its system call cannot be seen. It looks again until then, however long it
// takes: what it sees does not depend on when it looks.
bool waitUntilReading(pid_t pid);

// Opens a pseudo-terminal whose other end holds `written`, to be read from the terminal named
// `terminal`: the descriptor of the controlling end (closed by the caller), or -1 when the system
// has no pseudo-terminal to give.
int openTerminalHolding(const std::string& written, std::string& terminal);

// Whole content of a file as bytes ("" when it cannot be read).
std::string readFileBytes(const std::string& path);

// Writes raw bytes to a file (for hand-made inputs in tests); returns false when it cannot.
bool writeFileBytes(const std::string& path, const std::string& bytes);

// A fresh empty directory under the system's temporary directory, named after `tag`.
std::string makeTempDir(const std::string& tag);
