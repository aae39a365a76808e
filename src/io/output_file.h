// Outputs whole or absent: every whole output (motion table, curve, PGM image) is written to a
// temporary file in its own folder and renamed over its name only once it is complete and closed
// without error, so that a full disk, a failed write or an interrupted run never leaves a cut file
// under an output's name. Result lines are appended to their file with one write each.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class OutputFile {
 public:
  // Creates the temporary file (".vrm_<pid>_<n>.tmp" in the folder of `name`, with the permissions,
  // and as far as the process may set them the owner and group, of the file it will replace, else the
  // permissions a new file of that name would get). A symbolic link under `name` is followed: the file
  // it leads to is replaced and the link stays. A device or a FIFO under the name, and a file that may
  // be written in a folder that takes no new file, are written in place instead, as outputs always
  // were: such a file is emptied when it is opened, so a failed write leaves it empty and a signal
  // that ends the process while it is written leaves it cut. A FIFO that no process reads ends the
  // process as a failed write does (the reason says so) instead of waiting in open(2) for ever. When
  // it cannot be created, or `name` is a folder or a file without write permission (which could not be
  // opened for writing either), calls `cannotCreate` with the name and the system's error code, by
  // default: prints "Can't create <name> !" on standard output and ends the process with status 1, as
  // the writers always have.
  using CannotCreate = void (*)(const std::string& name, int error);
  explicit OutputFile(const std::string& name, CannotCreate cannotCreate = nullptr);
  // Removes the temporary file unless commit() put it in place (see discard()).
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Buffered writes. A write that fails ends the process with one line on standard error,
  // "Output '<name>': could not be written (<the system's reason>)", and status 1; the temporary file
  // is removed and a file already under the name stays as it was.
  void write(const void* data, size_t n);
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Flushes the data to the device, closes the temporary file and renames it over the name; a failure
  // ends the process as a failed write does.
  void commit();

 private:
  [[noreturn]] void fail(int error);
  // Closes the stream and removes the temporary file, or empties an output written in place.
  void discard();

  std::string name_, path_, temp_;  // the name, the file it leads to, the temporary
  std::FILE* f_ = nullptr;
  bool inPlace_ = false;
};

// Appends `line` to the file `name` (created when absent) with one write, so that the lines of runs
// appending to the same file at the same time never mix. A file that cannot be opened prints
// "Can't create <name> !" on standard output and ends the process with status 1; a write that fails
// ends it as a failed OutputFile write does, after removing what it wrote of the line, and so does a
// FIFO that no process reads.
void appendLine(const std::string& name, const std::string& line);

// Has the signals that end the process (hangup, interrupt, termination, file-size limit) remove the
// temporary file being written before the process ends; signals the process ignores stay ignored.
// Called once by the program at its start: the writers themselves never install handlers, so that
// other programs linking them keep their own signal dispositions.
void removeTemporaryOnTerminatingSignals();
