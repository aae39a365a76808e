// Pins of an output by its text and its numbers, for runs whose last digits may depend on the processor
// (the divergence-free projection goes through FFTW, which picks its code by the instruction set).
//
// The text with every number taken out must match exactly, and so must the count of numbers.
//
// A small output (at most kEachLimit numbers: the log, result lines, curves) keeps every number in its
// pin. Each must lie within 1.5 units of its last significant digit: the last printed digit of a
// fixed-decimal table (".motion", "%f"), else the smaller of the last printed digit and the sixth
// significant digit (the "%g" of the result lines and the log drops trailing zeros; "%e" prints seven).
// A rounding flip of the last digit passes, a change of 1e-5 in a motion value or of one unit in the
// fifth significant digit does not.
//
// A large output (motion tables, PGM rasters) keeps per column (the k-th number of a line; a PGM's
// raster bytes form one column of their own) its count, its unit u (the value of its last printed
// digit: 1e-6 for the u and v of a motion table, 1 for indices and raster bytes), its sum and kSums
// signed sums: the number at position p of the column (p = 0, 1, ... in the order of the text) enters
// sum k with the sign -1 when bit k of signWord(p) is set, else +1. The sums are written in whole
// units of u (exact when the column's numbers all print the same decimals, as in these outputs; else
// the rounding adds up to one unit); each must lie within kTolerance units of the table's. A change
// D_p of the numbers of a column moves sum k by the sum over p of sign_k(p) D_p, so:
//  - a last-digit flip of m numbers moves every sum by at most m units: up to 4 flips always pass,
//    more pass when their signs cancel;
//  - one number changed by d, the others by e units in all, moves every sum by at least |d| - e:
//    it fails when |d| > 4 u + e (a motion value 5e-6 off fails alone, 1e-5 off fails unless other
//    values move by 6e-6 or more together);
//  - two numbers changed by a and b: no two positions below kSignsProvenUpTo have equal or opposite
//    sign words (number_pins_test proves it), so some sum moves by |a + b| and another by |a - b|:
//    the pair fails when |a| + |b| > 4 u + e (a motion value +3e-6 and its neighbour -3e-6 fail, so
//    do two swapped values that differ by 3e-6 or more);
//  - +c, -2c, +c on any three numbers (on three neighbours it keeps the sum and any weighting linear
//    in the position) moves some sum by at least 2c: it fails when c > 2 u.
// Not caught: a change of three or more numbers that keeps all 1 + kSums sums within 4 units. Such
// changes exist among any kSums + 2 numbers (the sums are kSums + 1 linear forms), and may exist
// among fewer when their sign words happen to be dependent; only pairs and the +c, -2c, +c shape are
// proven above. A column longer than kSignsProvenUpTo is refused by numbersMismatch.
#pragma once

#include <cstdint>
#include <string>

namespace pins {

constexpr size_t kEachLimit = 4096;
constexpr int kSums = 64;                               // signed sums per column, one per bit of signWord
constexpr double kTolerance = 4;                        // units of the column's last digit, per sum
constexpr size_t kSignsProvenUpTo = size_t(1) << 20;    // positions whose sign words number_pins_test checks

// The signs of position p in the kSums signed sums: bit k set for -1 in sum k. A fixed mix (splitmix64
// of p + 1), the same for every column and every output.
uint64_t signWord(uint64_t position);

// The pin of the output `name` holding `bytes`:
// "numbers\t<sha256 of the text>\t<count>\teach\t<number texts separated by blanks>" or
// "numbers\t<sha256 of the text>\t<count>\tcolumns\t<column>:<count>:<unit>:<sum>:<signed sums, commas> ..."
// (the sums in whole units of <unit>).
std::string numbersPin(const std::string& name, const std::string& bytes);

// Empty when the pin `got` of the output `name` matches the table's `want` (both numbersPin), else what
// differs, in a line.
std::string numbersMismatch(const std::string& name, const std::string& got, const std::string& want);

}  // namespace pins
