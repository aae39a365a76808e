#include "driver/options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <variant>
#include <vector>

#include <CImg.h>

#include "io/fail.h"

namespace {

namespace cimg = cimg_library::cimg;

// Where an option's value goes: a member of RunOptions. The member's type is the option's type (it
// decides how the text is read) and the member's initial value in RunOptions is the default.
using OptionTarget =
    std::variant<std::string RunOptions::*, int RunOptions::*, double RunOptions::*, bool RunOptions::*>;

// One option of the command line.
struct OptionRow {
  const char* name;
  OptionTarget target;
  const char* help;      // its help text (printed with -h, after its value)
  const char* headings;  // lines printed on standard output before it is read (null: none)
  const char* does;      // what it does, named when a misspelt argument is taken for it
  void (*after)(RunOptions&) = nullptr;  // a step taken once it is read (null: none)
};

#define VRM_BAR "--------------------------------------------------------"

// The 31 options, in the order in which they are read, their help and headings printed.
const OptionRow kOptions[] = {
    {"-inPath", &RunOptions::inPath,
     "input text file: \n\t\t\t\t\t\t 1-st line: path to first image file in tiff format \n\t\t\t\t\t\t 2-nd line: path to second image file in tiff format \n\t\t\t\t\t\t 3-rd line: path to output directory",
     "\n" VRM_BAR "\n---------------Input Parameters-------------------------\n" VRM_BAR, "the list file"},
    {"-dy", &RunOptions::dy, "image line number", nullptr, "the window height"},
    {"-dx", &RunOptions::dx, "image column number", nullptr, "the window width"},
    {"-neta", &RunOptions::neta, "smallest scale for power-law constraint ", nullptr,
     "the smallest lag of the power law"},
    {"-lo", &RunOptions::lo, "largest scale  for power-law constraint", nullptr, "the largest lag of the power law"},
    {"-gamma", &RunOptions::gamma, "factor power law", nullptr, "the factor of the power law"},
    {"-power", &RunOptions::power, "exponent power law", nullptr, "the exponent of the power law"},
    {"-multiresol", &RunOptions::multiresol, "number of resolution levels",
     "\n" VRM_BAR "\n---------------Options ---------------------------------\n" VRM_BAR
     "\n--Mutiresolution pyramid --------------------------------------------------------",
     "the number of pyramid levels"},
    {"-resolEnd", &RunOptions::resolEnd, "finest resolution level", nullptr, "the finest level estimated"},
    {"-norm", &RunOptions::norm, "penalization for data term : 2=L2,1=L1,0=Leclerc",
     "--Data model --------------------------------------------------------------------", "the norm of the data term"},
    {"-sigma_obs", &RunOptions::sigma_obs, "initial robust parameter control on data term (for norm L1 or leclerc)",
     nullptr, "the robust parameter of the data term"},
    {"-sigBlur", &RunOptions::sigBlur,
     "amplitude of the isotropic blurring for image pre-smoothing (derivative operators)", nullptr,
     "the pre-blur of the image derivatives"},
    {"-sigDiff", &RunOptions::sigDiff,
     "passive scalar transport diffusion coefficient (instead of a simple OFC transport) ", nullptr,
     "the diffusion coefficient of the transport"},
    {"-offEdeges", &RunOptions::offEdeges, "border marge suppression from the data term ", nullptr,
     "the border band left out of the data term"},
    {"-nbItTrace", &RunOptions::nbItTrace, "nb iteration for trace randomization",
     "--Optimization and Initialization------------------------------------------------ ",
     "the probes of the evidence estimate"},
    {"-eps", &RunOptions::eps, "precision for convergence of dual algorithm", nullptr,
     "the precision of the dual optimisation"},
    {"-nbItLbfgs", &RunOptions::nbItLbfgs, "nb iteration max lbfgs", nullptr,
     "the line-search limit of the dual optimisation"},
    {"-Umean", &RunOptions::Umean, "Initialization value for the average horizontal velocity", nullptr,
     "the horizontal pre-shift"},
    {"-HS", &RunOptions::HS, "Horn and Shunck multireoslution", nullptr, "Horn & Schunck at every level"},
    {"-initHS", &RunOptions::initHS, " HS motion field at coarser resolutions (1/2^j | j > 1)", nullptr,
     "Horn & Schunck at the coarser levels"},
    {"-alpha", &RunOptions::alpha, "Horn & Schunck regularization coefficient (if used)", nullptr,
     "the Horn & Schunck coefficient"},
    {"-lambdaInit", &RunOptions::lambdaInit, "Initial lagrangian multipliers value", nullptr,
     "the initial value of the multipliers"},
    {"-lambdaInitFile", &RunOptions::lambdaInitFile,
     "Initial lagrangian multipliers values from file \n\t\t\t\t\t\t(file path must appear in the 5-th line of input text file given in argument of -inPath)",
     nullptr, "the multipliers from list line 5"},
    {"-ofy", &RunOptions::ofy, "offset line number ",
     "--ROI (cropping)-----------------------------------------------------------------", "the window's line offset"},
    {"-ofx", &RunOptions::ofx, "offset column number", nullptr, "the window's column offset"},
    {"-Dx", &RunOptions::Dx, "whole Image column number", nullptr, "the width of image 2 read whole"},
    {"-Dy", &RunOptions::Dy, "whole Image line number", nullptr, "the height of image 2 read whole",
     resolveWholeImageSize},
    {"-pgm", &RunOptions::pgm, "image in pgm format (true) (instead of tiff format (false))",
     "--MISC---------------------------------------------------------------------------- ",
     "binary PGM images instead of TIFF"},
    {"-divZero", &RunOptions::divZero, "divergence free projection at each resolution level (default false)", nullptr,
     "the divergence-free projection"},
    {"-GT", &RunOptions::GT,
     "ground truth comparison (default=false) \n\t\t\t\t\t\t(true motion file path must appear in the 4-th line  of input text file given in argument of -inPath)",
     nullptr, "the comparison with the true motion"},
    {"-offGT", &RunOptions::offGT, " border dimx not considered for ground truth comparison", nullptr,
     "the border left out of the true-motion comparison"},
};

#undef VRM_BAR

// The argument a -h, -help or --help switch stands for: help, wherever it is.
bool isHelpSwitch(const char* a) {
  return std::strcmp(a, "-h") == 0 || std::strcmp(a, "-help") == 0 || std::strcmp(a, "--help") == 0;
}

std::string lowerCase(std::string s) {
  for (char& c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

// The command line as the parser reads it, what it has read, and what it has to say.
struct CommandLine {
  int argc;
  char** argv;
  RunOptions& opt;
  std::vector<bool> read;  // read[k]: argv[k] is an option name read, its value or a help switch

  CommandLine(int c, char** v, RunOptions& o) : argc(c), argv(v), opt(o), read(c > 0 ? (size_t)c : 0, false) {
    for (int k = 0; k < argc; ++k)
      if (isHelpSwitch(argv[k])) read[k] = true;
  }

  // The text of an option: the argument after the first argument equal to its name (both are read),
  // the name itself when that is the last argument, null when no argument is the name.
  const char* text(const char* name) {
    for (int k = 0; k < argc; ++k)
      if (std::strcmp(argv[k], name) == 0) {
        read[k] = true;
        if (k + 1 == argc) return argv[k];
        read[k + 1] = true;
        return argv[k + 1];
      }
    return nullptr;
  }

  // True when the text `s` (an argument) is an option name and the first argument equal to it: that
  // option then reads the argument after it, whatever else takes `s` as its value.
  bool readAsOptionName(const char* s) const {
    const bool isName = std::any_of(std::begin(kOptions), std::end(kOptions),
                                    [s](const OptionRow& row) { return std::strcmp(row.name, s) == 0; });
    for (int k = 0; isName && k < argc; ++k)
      if (std::strcmp(argv[k], s) == 0) return argv[k] == s;
    return false;
  }

  // Keeps the first number option whose text is not a number of its type.
  void refuse(const char* name, const std::string& what) {
    if (opt.numberTextProblem.empty()) opt.numberTextProblem = std::string("Option ") + name + ": " + what;
  }
};

// Prints the option's help line (when help is on) with the value in use.
void helpLine(const char* name, const std::string& value, const char* help) {
  cimg::option(name, 0, nullptr, value.c_str(), help);
}

// An option written last gets its own name as text: such a number has always read as 0, such a
// yes/no option as on.
bool isOwnName(const char* s, const char* name) { return std::strcmp(s, name) == 0; }

bool onlyBlanks(const char* p) {
  while (*p && std::isspace((unsigned char)*p)) ++p;
  return *p == '\0';
}

std::string readValue(CommandLine& in, const OptionRow& row, const std::string& def) {
  const char* s = in.text(row.name);
  const std::string value = s ? s : def;
  helpLine(row.name, value, row.help);
  return value;
}

// A decimal integer within the int range (leading blanks and a sign allowed, trailing blanks
// allowed); any other text ("1e3", "2.5", "99999999999", "abc", "") is recorded as a problem.
int readValue(CommandLine& in, const OptionRow& row, int def) {
  const char* s = in.text(row.name);
  int value = def;
  if (s && isOwnName(s, row.name)) {
    value = 0;
  } else if (s) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s || !onlyBlanks(end) || errno == ERANGE || v > INT_MAX || v < INT_MIN)
      in.refuse(row.name, quoted(s) + " is not an integer between " + std::to_string(INT_MIN) + " and " +
                              std::to_string(INT_MAX));
    else
      value = (int)v;
  }
  helpLine(row.name, std::to_string(value), row.help);
  return value;
}

// A ratio "a/b" of two single-precision numbers (b = 1 when absent), divided in single precision:
// a value given on the command line has single precision, a default stays an exact double. A text
// that is not such a ratio, or whose value is not finite ("nan", "inf", "1/0", "0/0", "1e39", "abc",
// ""), is recorded as a problem.
double readValue(CommandLine& in, const OptionRow& row, double def) {
  const char* s = in.text(row.name);
  double value = def;
  if (s && isOwnName(s, row.name)) {
    value = 0.0;
  } else if (s) {
    float a = 0, b = 1;
    int na = 0, nb = 0;
    bool ok = std::sscanf(s, "%f%n", &a, &na) == 1;
    const char* rest = s + (ok ? na : 0);
    if (ok && *rest == '/') {
      ok = std::sscanf(rest + 1, "%f%n", &b, &nb) == 1;
      rest += 1 + (ok ? nb : 0);
    }
    const double v = (double)(a / b);
    if (!ok || !onlyBlanks(rest) || !std::isfinite(v))
      in.refuse(row.name, quoted(s) + " is not a finite number (a number, or a ratio a/b)");
    else
      value = v;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  helpLine(row.name, text, row.help);
  return value;
}

// Off for "false", "off", "no" and "0" in any case; on for "true", "on", "yes" and "1" in any case
// and for an option written last. Any other text is read as on, as it always has been, and named on
// standard error with the words that turn the option off.
bool readValue(CommandLine& in, const OptionRow& row, bool def) {
  const char* s = in.text(row.name);
  bool value = def;
  if (s && !isOwnName(s, row.name)) {
    const std::string word = lowerCase(s);
    value = !(word == "false" || word == "off" || word == "no" || word == "0");
    // A value left out leaves the next option's name in the value's place: that option is read too.
    if (value && !(word == "true" || word == "on" || word == "yes" || word == "1"))
      in.opt.commandLineNotices.push_back(
          std::string("Option ") + row.name + ": " + quoted(s) +
          " is not a yes/no word: it is read as on; false, off, no or 0 (any case) turn it off" +
          (in.readAsOptionName(s) ? std::string("; ") + s + " is still read as given, with the argument after it"
                                  : std::string()));
  } else if (s) {
    value = true;
  }
  helpLine(row.name, value ? "true" : "false", row.help);
  return value;
}

// Edit distance between two texts (insertions, deletions and substitutions of one character).
size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// The option that an argument beginning with '-' was most likely meant to be: one whose name it
// begins with or that begins with it (ignoring case), or one a character away (two for names of
// more than four letters); null when none is that close.
const OptionRow* nearestOption(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return nullptr;
  const std::string a = lowerCase(arg);
  const OptionRow* best = nullptr;
  size_t bestScore = 3;
  for (const OptionRow& row : kOptions) {
    const std::string name = row.name, n = lowerCase(name);
    const bool prefix = a.size() >= 3 && (a.compare(0, n.size(), n) == 0 || n.compare(0, a.size(), a) == 0);
    const size_t distance = editDistance(a, n);
    if (!prefix && distance > (n.size() > 5 ? 2u : 1u)) continue;
    const size_t score = prefix ? 0 : distance;
    // Ties (-DX: -dx or -Dx) go to the name closest with case.
    if (score < bestScore ||
        (score == bestScore && best && editDistance(arg, name) < editDistance(arg, best->name)))
      best = &row, bestScore = score;
  }
  return best;
}

bool isOptionName(const char* a) {
  for (const OptionRow& row : kOptions)
    if (std::strcmp(row.name, a) == 0) return true;
  return false;
}

// Names each argument the parser did not read that stands where an option name belongs, with the
// unread argument after it (every option is a name followed by its value) and the option it is
// closest to. A repeated option (the first one counts) is no news.
void noteIgnoredArguments(CommandLine& in) {
  for (int k = 1; k < in.argc; ++k) {
    if (in.read[k]) continue;
    const bool takesNext = k + 1 < in.argc && !in.read[k + 1];
    if (!isOptionName(in.argv[k])) {
      const std::string arg = in.argv[k];
      std::string notice = "Argument " + quoted(arg) + " is not an option name: it is ignored";
      if (takesNext) notice += ", and so is the argument after it, " + quoted(in.argv[k + 1]);
      if (const OptionRow* meant = nearestOption(arg))
        notice += std::string(" (did you mean ") + meant->name + ", " + meant->does + "?)";
      in.opt.commandLineNotices.push_back(notice);
    }
    if (takesNext) ++k;
  }
}

}  // namespace

void resolveWholeImageSize(RunOptions& opt) {
  opt.DxGiven = opt.Dx >= 0;
  opt.DyGiven = opt.Dy >= 0;
  if (opt.Dx < 0) {
    if (opt.ofx != 0) {
      std::printf("Error in -ofx !! \n");
      opt.ofx = 0;
    }
    opt.Dx = opt.dx;
  }
  if (opt.Dy < 0) {
    if (opt.ofy != 0) {
      std::printf("Error in -ofy !! \n");
      opt.ofy = 0;
    }
    opt.Dy = opt.dy;
  }
}

void computeDerivedConstants(RunOptions& opt) {
  opt.dxOrig = opt.dx;
  opt.dyOrig = opt.dy;
  opt.MaxAll = (int)(0.5 * (double)(opt.dx < opt.dy ? opt.dx : opt.dy));
  if (opt.norm == 1)
    opt.FactorRobParam = 0.5 / opt.sigma_obs;
  else if (opt.norm == 0)
    opt.FactorRobParam = std::pow(opt.sigma_obs, -2.0);
  else
    opt.FactorRobParam = 1.0;
}

RunOptions parseOptions(int argc, char** argv) {
  RunOptions o;
  CommandLine in(argc, argv, o);
  // The parser keeps its help switch in static state: start afresh for every parse.
  cimg::option((const char*)nullptr, 0, nullptr, (const char*)nullptr, (const char*)nullptr, true);
  cimg::option((const char*)nullptr, argc, argv, (const char*)nullptr,
               "Optic flow estimation with K41 regularization. ", false);
  for (const OptionRow& row : kOptions) {
    if (row.headings) std::printf("%s\n", row.headings);
    std::visit([&](auto member) { o.*member = readValue(in, row, o.*member); }, row.target);
    if (row.after) row.after(o);
  }
  computeDerivedConstants(o);
  noteIgnoredArguments(in);
  std::fflush(stdout);
  return o;
}

namespace {

constexpr int kMaxSide = 32767;

[[noreturn]] void refuse(const std::string& option, const std::string& range) {
  failRun("Option " + option + ": " + range);
}

}  // namespace

void refuseInvalidOptions(const RunOptions& o) {
  if (!o.numberTextProblem.empty()) failRun(o.numberTextProblem);
  if (o.multiresol < 1 || o.multiresol > 7)
    refuse("-multiresol", "must lie between 1 and 7 (given " + std::to_string(o.multiresol) + ")");
  if (o.resolEnd < 1)
    refuse("-resolEnd", "must be at least 1 (given " + std::to_string(o.resolEnd) + ")");
  if (o.dx < 1) refuse("-dx", "must be at least 1 (given " + std::to_string(o.dx) + ")");
  if (o.dy < 1) refuse("-dy", "must be at least 1 (given " + std::to_string(o.dy) + ")");
  // Images are at most 32767 pixels on a side (the PGM and TIFF readers refuse larger ones).
  if (o.dx > kMaxSide) refuse("-dx", "must be at most 32767 (given " + std::to_string(o.dx) + ")");
  if (o.dy > kMaxSide) refuse("-dy", "must be at most 32767 (given " + std::to_string(o.dy) + ")");
  if (o.DxGiven && o.Dx > kMaxSide) refuse("-Dx", "must be at most 32767 (given " + std::to_string(o.Dx) + ")");
  if (o.DyGiven && o.Dy > kMaxSide) refuse("-Dy", "must be at most 32767 (given " + std::to_string(o.Dy) + ")");
  if (o.DxGiven && o.ofx < 0)
    refuse("-ofx", "must be at least 0 when -Dx is given (given " + std::to_string(o.ofx) + ")");
  if (o.DyGiven && o.ofy < 0)
    refuse("-ofy", "must be at least 0 when -Dy is given (given " + std::to_string(o.ofy) + ")");
  if (!(o.norm >= (double)INT_MIN && o.norm < (double)INT_MAX + 1.0))
    refuse("-norm", "must be a number between -2147483648 and 2147483647");
  // The dual optimiser receives the integer part of the norm; both the value itself and its
  // integer part select the robust norms.
  const int normInt = (int)o.norm;
  const bool l1 = o.norm == 1 || normInt == 1;
  const bool leclerc = o.norm == 0 || normInt == 0;
  if ((l1 || leclerc) && o.sigma_obs == 0)
    refuse("-sigma_obs", "must not be 0 with -norm 0 or 1 (L1 or Leclerc data term)");
  if (l1 && o.sigma_obs < 0) refuse("-sigma_obs", "must be positive with -norm 1 (L1 data term)");
  if (o.nbItTrace < 0)
    refuse("-nbItTrace", "must be at least 0 (given " + std::to_string(o.nbItTrace) + ")");
  if (o.offEdeges < 0)
    refuse("-offEdeges", "must be at least 0 (given " + std::to_string(o.offEdeges) + ")");
}

