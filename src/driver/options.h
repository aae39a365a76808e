// The run's 31 command-line options, the constants derived from them, and the checks that refuse
// values which would index missing pyramid entries or empty images.
#pragma once

#include <string>
#include <vector>

struct RunOptions {
  // Input parameters
  std::string inPath = "inputVorlane";  // -inPath: the five-line list file
  int dy = 256;                         // -dy: window height (lines)
  int dx = 256;                         // -dx: window width (columns)
  int neta = 0;                         // -neta: smallest lag of the power-law constraints at level 0
  int lo = 4;                           // -lo: largest lag at level 0 (the larger of lo and neta is used)
  double gamma = 0.01;                  // -gamma: factor of the power law at level 0
  double power = 1.0;                   // -power: exponent of the power law (zeta)
  // Multiresolution pyramid
  int multiresol = 1;  // -multiresol: number of pyramid levels estimated, 1 to 7
  int resolEnd = 1;    // -resolEnd: 1 + the finest level estimated
  // Data model
  double norm = 2.0;        // -norm: 2 = L2, 1 = L1, 0 = Leclerc
  double sigma_obs = 50.0;  // -sigma_obs: robust parameter of the data term
  double sigBlur = 0.0;     // -sigBlur: pre-blur of the derivative operators
  double sigDiff = 0.0;     // -sigDiff: diffusion coefficient of the transport model
  int offEdeges = 0;        // -offEdeges: border band removed from the data mask
  // Optimisation and initialisation
  int nbItTrace = 30;           // -nbItTrace: probes of the evidence trace estimate; 0: no evidence
  double eps = 1e-10;           // -eps: dual convergence precision at level 0
  int nbItLbfgs = 10;           // -nbItLbfgs: iteration limit of the dual optimiser
  double Umean = 0.0;           // -Umean: horizontal pre-shift of image 2 (pixels)
  bool HS = false;              // -HS: Horn & Schunck path at every level
  bool initHS = false;          // -initHS: Horn & Schunck path at the levels above 0
  double alpha = 10.0;          // -alpha: Horn & Schunck coefficient
  double lambdaInit = 1.0;      // -lambdaInit: initial value of every multiplier
  bool lambdaInitFile = false;  // -lambdaInitFile: level-0 multipliers from list-file line 5
  // Region of interest
  int ofy = 0;   // -ofy: window offset in lines
  int ofx = 0;   // -ofx: window offset in columns
  int Dx = -1;   // -Dx: width of image 2 read whole (resolved to dx when negative)
  int Dy = -1;   // -Dy: height of image 2 read whole (resolved to dy when negative)
  bool DxGiven = false;  // -Dx was not negative on the command line
  bool DyGiven = false;  // -Dy was not negative on the command line
  // Miscellaneous
  bool pgm = false;      // -pgm: images are binary PGM (else TIFF)
  bool divZero = false;  // -divZero: divergence-free projection of the carried and final motion
  bool GT = false;       // -GT: compare with the true field of list-file line 4
  int offGT = 0;         // -offGT: border excluded from the full-size comparison

  // Derived run constants
  int dxOrig = 256, dyOrig = 256;  // the window size from the command line (never padded)
  int MaxAll = 128;                // (int)(0.5 * min(dx, dy)); curves use lags 1 to MaxAll - 1
  double FactorRobParam = 1.0;     // 0.5/sigma_obs (norm 1), sigma_obs^-2 (norm 0), else 1

  // The first number option whose text is not a number of its type ("Option -dx: '1e3' is not an
  // integer ..."); empty when every text parses. Its value stays the default.
  std::string numberTextProblem;

  // Lines for standard error about the command line, in this order: each yes/no option whose text is
  // not a yes/no word, then each ignored argument that stands where an option name belongs.
  std::vector<std::string> commandLineNotices;
};

// Reads the 31 options in their order with the banner and section headings on standard output
// (help on standard error when "-h", "-help" or "--help" is among the arguments), resolves the
// whole-image size of image 2 after the region-of-interest options ("Error in -ofx !! " /
// "Error in -ofy !! " when an offset comes without the whole-image size: the offset becomes 0),
// and computes the derived constants. An option's text is the argument after the first argument
// equal to its name; written last, the name itself. Never fails: a number option whose text does
// not parse (an integer: a decimal integer within int; a double: a finite number or ratio "a/b" of
// single-precision numbers) keeps its default and is noted in numberTextProblem. A number option
// written last reads as 0. A yes/no option is off for "false", "off", "no" and "0" (any case) and on
// for any other text; one that is not "true", "on", "yes" or "1" (any case) is noted in
// commandLineNotices: "Option -HS: 'flase' is not a yes/no word: it is read as on; false, off, no or
// 0 (any case) turn it off".
//
// Every argument the parser does not read (read are: the first argument equal to an option's name
// and the one after it, and the help switches) that is not an option name is noted in
// commandLineNotices, with the unread argument after it (every option is a name followed by its
// value) and the option it is closest to: "Argument '-multiresolution' is not an option name: it is
// ignored, and so is the argument after it, '3' (did you mean -multiresol, the number of pyramid
// levels?)". A repeated option (the first one counts) is no news. Arguments are quoted with their
// control characters shown as '?'.
RunOptions parseOptions(int argc, char** argv);

// Refuses a number option whose text did not parse, and option values that would make the run index
// pyramid entries or images that do not exist (sizes beyond 32767 included): one line on standard
// error naming the option and the allowed range, exit status 1.
void refuseInvalidOptions(const RunOptions& opt);

// The whole-image size of image 2 and the derived constants, as parseOptions computes them (exposed
// for callers that build options by hand).
void resolveWholeImageSize(RunOptions& opt);
void computeDerivedConstants(RunOptions& opt);
