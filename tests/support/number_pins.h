// Pins of an output by its text and its numbers, for runs whose last digits may depend on the processor
// (the divergence-free projection goes through FFTW, which picks its code by the instruction set).
//
// The text with every number taken out must match exactly. Each number must lie within 1.5 units of
// its last significant digit: the last printed digit of a fixed-decimal table (".motion", "%f"), else
// the smaller of the last printed digit and the sixth significant digit (the "%g" of the result lines
// and the log drops trailing zeros; "%e" prints seven). A rounding flip of the last digit passes, a
// change of 1e-5 in a motion value or of one unit in the fifth significant digit does not.
//
// A small output (at most kEachLimit numbers: the log, result lines, curves) keeps every number in its
// pin. A large one (motion tables, PGM rasters) keeps per column (the k-th number of a line; a PGM's
// raster bytes form one column of their own) the count, the sum and the position-weighted sum, each
// within 4 units of the column's last digit.
#pragma once

#include <string>

namespace pins {

constexpr size_t kEachLimit = 4096;

// The pin of the output `name` holding `bytes`:
// "numbers\t<sha256 of the text>\t<count>\teach\t<number texts separated by blanks>" or
// "numbers\t<sha256 of the text>\t<count>\tcolumns\t<column>:<count>:<unit>:<sum>:<weighted sum> ...".
std::string numbersPin(const std::string& name, const std::string& bytes);

// Empty when the pin `got` of the output `name` matches the table's `want` (both numbersPin), else what
// differs, in a line.
std::string numbersMismatch(const std::string& name, const std::string& got, const std::string& want);

}  // namespace pins
