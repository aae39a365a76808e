// Runs the built program as a child process in a given folder and reads what it wrote: for the
// end-to-end tests and benchmarks of whole runs.
#pragma once

#include <string>
#include <vector>

#include "support/child_process.h"

// Runs VRM_PROGRAM with `args` (without the program name) in folder `dir`; both output streams
// are captured. A positive `addressSpaceBytes` limits the program's address space (RLIMIT_AS).
ChildResult runProgram(const std::string& dir, const std::vector<std::string>& args, long addressSpaceBytes = 0);

// The same with another build of the program. A positive `fileSizeBytes` limits the size of every file
// it writes, its standard output and error included (RLIMIT_FSIZE): a write beyond it fails with EFBIG
// as on a full disk, or with `fileSizeSignal` the signal SIGXFSZ ends the program.
ChildResult runProgramAt(const std::string& program, const std::string& dir, const std::vector<std::string>& args,
                         long addressSpaceBytes = 0, long fileSizeBytes = 0, bool fileSizeSignal = false);

// Names of the entries of a folder (no "." and ".."), sorted.
std::vector<std::string> listFolder(const std::string& dir);

// The lines of a text file, without their line breaks (empty when it cannot be read).
std::vector<std::string> readLines(const std::string& path);

// The values of one line of tab-separated numbers, one per field.
std::vector<double> splitTabbedNumbers(const std::string& line);

// The three numbers of the last "End Point Error :" line of a run's standard output (end-point error,
// angular error, RMS difference); false when there is none.
bool lastGroundTruthErrors(const std::string& out, double& epe, double& angular, double& rms);
