// What the readers of a run's inputs (list file, images, true motion table, multiplier file) may
// open: a regular file or a character device such as /dev/null. Anything else is refused before it
// is opened: a FIFO without a writer would block the run in open(2) for ever, a directory or a socket
// holds no data to read.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Empty when `name` may be opened for reading: a regular file or a character device (symbolic links
// followed), or a name that cannot be looked at (missing, no permission), whose open then says why.
// Otherwise the problem, to follow the quoted name in a message: "is a FIFO (named pipe), not a
// regular file or a character device", likewise for a directory, a socket and a block device; and
// for a name holding a NUL byte (it would open another file), "is not a file name: it holds a NUL byte".
std::string inputFileProblem(const std::string& name);

// One line of a text input, up to its line break (not kept), into `line`; false at the end of the
// file with nothing read. A line of more than maxLength characters sets tooLong and is not read
// further: a stream without line breaks (a device) is not read for ever.
bool readInputLine(std::FILE* f, std::string& line, std::size_t maxLength, bool& tooLong);

// The fields of a line of a text input, separated by blanks and tabs (a carriage return ending the
// line is dropped; any other control character stays inside its field).
std::vector<std::string> lineFields(std::string line);

// A whole field as "%d" reads it (an optional sign, decimal digits), saturated far beyond any index or
// count; false when the field is anything else.
bool integerField(const std::string& field, long long& value);

// A whole field as "%f" reads it, with the same single-precision value; false when the field is
// anything else.
bool floatField(const std::string& field, float& value);
