// How input/output failures end a run: one line that names the file and the problem, exit status 1.
#pragma once

#include <string>

// Flushes standard output, prints `message` and a line break on standard error and ends the process
// with status 1.
[[noreturn]] void failRun(const std::string& message);

// Prints "Can't create %s !" with the file name on standard output (as the motion-table writer
// does) and ends the process with status 1.
[[noreturn]] void failCreate(const std::string& filename);
