// Comparison of an estimated motion field with the true one: mean end-point error, mean Barron angular
// error (degrees) and root-mean-square difference, weighted by a mask.
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// Compares XOrig (estimate) with trueUV (truth), both width x height x 2 (u, v), over the one-plane
// weights maskFlag of the same width and height. Prints on one line of standard output
//   "End Point Error :" EPE "; Barron angular error :" AE "; RMS difference with true UV :" RMS
// stores EPE, AE and RMS in save[11], save[12] and save[13], and writes the maps
// "<filename>Barron.pgm" (masked angle, 0 to 30 degrees onto 0 to 255) and "<filename>EndPoint.pgm"
// (masked end-point error, 0 to 0.7 pixel onto 0 to 255).
// The cosine of the angle is clamped to [-1, 1]. A mask that sums to 0 prints a message and changes
// nothing (no slots, no maps). Fields or mask of different sizes, a field without a second plane or a
// result vector of fewer than 14 values print one line on standard error and end the process with
// status 1.
void groundTruthComparison(const cimg_library::CImg<double>& XOrig, const cimg_library::CImg<double>& trueUV,
                           const cimg_library::CImg<double>& maskFlag, const std::string& filename,
                           cimg_library::CImg<double>& save);

// The names of the two maps that a comparison with file prefix `filename` writes.
std::string angularErrorMapName(const std::string& filename);   // filename + "Barron.pgm"
std::string endPointErrorMapName(const std::string& filename);  // filename + "EndPoint.pgm"

// The same with a local result vector of 20 zeros that is dropped afterwards.
void groundTruthComparison(const cimg_library::CImg<double>& XOrig, const cimg_library::CImg<double>& trueUV,
                           const cimg_library::CImg<double>& maskFlag, const std::string& filename);

// The same with a mask of ones of the size of one plane of trueUV and the prefix "toBeErased" (maps
// written in the working directory).
void groundTruthComparison(const cimg_library::CImg<double>& XOrig, const cimg_library::CImg<double>& trueUV);
