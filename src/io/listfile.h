// The five-line list file that names a run's inputs: image 1, image 2, output prefix, true motion
// file, initial multiplier file.
#pragma once

#include <string>
#include <vector>

// nbIm empty lines, to be filled by read_path.
std::vector<std::string> alloc_seqPath(int nbIm);

// Reads nbIm lines of the list file ifn1, each whole up to its line break, into
// fileIm[0..nbIm-1]; a carriage return that ends a line (a list written with "\r\n") is dropped.
// Lines missing at the end of the file are left empty. The list file may be a pipe. `used[i]` says
// whether the run uses line i + 1 (a line beyond `used` is used). A list file that is a directory, a
// socket or a block device, that cannot be opened or read, that is empty, that holds fewer than three
// lines (images and output prefix), a line longer than 4096 characters or a used line holding a
// control character (it is no file name; an unused line is kept as it is) prints one line naming the
// file (and the line) on standard error and exits with status 1.
void read_path(const std::string& ifn1, int nbIm, std::vector<std::string>& fileIm,
               const std::vector<bool>& used = {});
