// Opening a run's inputs. The text inputs (list file, true motion table, multiplier file) are read
// from a regular file, a character device such as /dev/null, or a pipe ("<(...)", /dev/stdin fed by a
// pipe, a FIFO). The images are read by seeking in their file: a pipe is refused for them. A
// directory, a socket or a block device holds no data to read and is refused before it is opened.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Empty when the image `name` may be opened for reading: a regular file or a character device
// (symbolic links followed), or a name that cannot be looked at (missing, no permission), whose open
// then says why. Otherwise the problem, to follow the quoted name in a message: "is a FIFO (named
// pipe), not a regular file or a character device: an image is read by seeking in its file, which a
// pipe does not allow"; "is a directory, not a regular file or a character device", likewise for a
// socket and a block device; and for a name holding a NUL byte (it would open another file), "is not
// a file name: it holds a NUL byte".
std::string inputFileProblem(const std::string& name);

// The refusal of an image whose file cannot seek, to follow the quoted name: "cannot be read: an image
// is read by seeking in its file, which this one does not allow (<reason>)".
std::string cannotSeek(int error);

// An image opened for reading: its descriptor (-1 when refused), and else the text that follows the
// quoted name in a message; openError is errno when open itself failed, else 0.
struct ImageInput {
  int fd = -1;
  std::string problem;
  int openError = 0;
};

// Opens the image `name` for reading as plain open(O_RDONLY) does (the caller closes the descriptor),
// and refuses, before a byte is read, every file that no image reader can read: the kinds of
// inputFileProblem, looked at again on the open file, and a file that cannot seek (a terminal, the
// pseudo-terminal multiplexer /dev/ptmx: reading one would wait for a typist). The open neither
// waits (for a FIFO's writer, a serial line's carrier) nor makes a terminal the controlling one.
// Problems: those of inputFileProblem, "cannot be opened (<reason>)", "cannot be read (<reason>)"
// and cannotSeek.
ImageInput openImageInput(const std::string& name);

// Opens the text input `name` for reading (closed by the caller with fclose): a regular file, a
// character device, or a pipe or FIFO. A FIFO is opened without waiting for a writer (open would
// block for ever without one) and then read as a pipe: with a writer, reads wait for its data up to
// its end; without one it holds no data, and its reader refuses it as it refuses an empty file. Null
// when it cannot be opened, with `problem` set to the text that follows the quoted name in a message:
// the refusals of inputFileProblem for a directory, a socket, a block device or a NUL byte,
// "cannot be opened (<reason>)" or "cannot be read (<reason>)".
std::FILE* openTextInput(const std::string& name, std::string& problem);

// The longest line of the list file and of the multiplier file, and of the true motion table's first
// line: longer than any path the system opens (PATH_MAX is 4096) and than any count or pair of numbers.
// The bound keeps a stream without line breaks (a device) from being read for ever.
constexpr std::size_t kMaxTextLine = 4096;

// The refusal of a line longer than kMaxTextLine: "<where> is longer than 4096 characters".
std::string lineTooLong(const std::string& where);

// One line of a text input, up to its line break (not kept), into `line`; false at the end of the
// file with nothing read. A line of more than kMaxTextLine characters sets tooLong and is not read
// further: a stream without line breaks (a device) is not read for ever.
bool readInputLine(std::FILE* f, std::string& line, bool& tooLong);

// The fields of a line of a text input, separated by blanks and tabs (a carriage return ending the
// line is dropped; any other control character stays inside its field).
std::vector<std::string> lineFields(std::string line);

// A whole field as "%d" reads it (an optional sign, decimal digits), saturated far beyond any index or
// count; false when the field is anything else.
bool integerField(const std::string& field, long long& value);

// A whole field as "%f" reads it, with the same single-precision value; false when the field is
// anything else.
bool floatField(const std::string& field, float& value);
