#include "driver/options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <CImg.h>

#include "io/fail.h"

namespace {

namespace cimg = cimg_library::cimg;

// One section heading: a line on standard output, help or not.
void heading(const char* text) { std::printf("%s\n", text); }

// The parser's raw value of an option: the argument after the first argument equal to the name,
// the name itself when it is the last argument, null when it is absent.
const char* rawValue(const char* name, int argc, char** argv) {
  return cimg::option(name, argc, argv, (const char*)nullptr, (const char*)nullptr);
}

// Prints the option's help line (when help is on) with the value in use.
void helpLine(const char* name, const std::string& value, const char* help) {
  cimg::option(name, 0, nullptr, value.c_str(), help);
}

// The command line, and the first number option whose text is not a number of its type.
struct OptionInput {
  int argc;
  char** argv;
  std::string& problem;  // "Option <name>: ..." (empty while every text parses)
  void refuse(const char* name, const std::string& what) {
    if (problem.empty()) problem = std::string("Option ") + name + ": " + what;
  }
};

// The parser gives an option written last its own name as value: such a number has always read as 0.
bool isOwnName(const char* s, const char* name) { return std::strcmp(s, name) == 0; }

bool onlyBlanks(const char* p) {
  while (*p && std::isspace((unsigned char)*p)) ++p;
  return *p == '\0';
}

std::string optString(OptionInput& in, const char* name, const char* def, const char* help) {
  const char* s = rawValue(name, in.argc, in.argv);
  const std::string value = s ? s : def;
  helpLine(name, value, help);
  return value;
}

// A decimal integer within the int range (leading blanks and a sign allowed, trailing blanks
// allowed); any other text ("1e3", "2.5", "99999999999", "abc", "") is recorded as a problem.
int optInt(OptionInput& in, const char* name, int def, const char* help) {
  const char* s = rawValue(name, in.argc, in.argv);
  int value = def;
  if (s && isOwnName(s, name)) {
    value = 0;
  } else if (s) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s || !onlyBlanks(end) || errno == ERANGE || v > INT_MAX || v < INT_MIN)
      in.refuse(name, quoted(s) + " is not an integer between " + std::to_string(INT_MIN) + " and " +
                          std::to_string(INT_MAX));
    else
      value = (int)v;
  }
  helpLine(name, std::to_string(value), help);
  return value;
}

// A ratio "a/b" of two single-precision numbers (b = 1 when absent), divided in single precision:
// a value given on the command line has single precision, a default stays an exact double. A text
// that is not such a ratio, or whose value is not finite ("nan", "inf", "1/0", "0/0", "1e39", "abc",
// ""), is recorded as a problem.
double optDouble(OptionInput& in, const char* name, double def, const char* help) {
  const char* s = rawValue(name, in.argc, in.argv);
  double value = def;
  if (s && isOwnName(s, name)) {
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
      in.refuse(name, quoted(s) + " is not a finite number (a number, or a ratio a/b)");
    else
      value = v;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  helpLine(name, text, help);
  return value;
}

// False for "false", "off" and "0" in any case, true for any other text; the default when absent.
bool optBool(OptionInput& in, const char* name, bool def, const char* help) {
  return cimg::option(name, in.argc, in.argv, def, help);
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
  OptionInput in{argc, argv, o.numberTextProblem};
  // The parser keeps its help switch in static state: start afresh for every parse.
  cimg::option((const char*)nullptr, 0, nullptr, (const char*)nullptr, (const char*)nullptr, true);
  cimg::option((const char*)nullptr, argc, argv, (const char*)nullptr,
               "Optic flow estimation with K41 regularization. ", false);

  heading("\n--------------------------------------------------------");
  heading("---------------Input Parameters-------------------------");
  heading("--------------------------------------------------------");
  o.inPath = optString(in, "-inPath", "inputVorlane",
                       "input text file: \n\t\t\t\t\t\t 1-st line: path to first image file in tiff format \n\t\t\t\t\t\t 2-nd line: path to second image file in tiff format \n\t\t\t\t\t\t 3-rd line: path to output directory");
  o.dy = optInt(in, "-dy", 256, "image line number");
  o.dx = optInt(in, "-dx", 256, "image column number");
  o.neta = optInt(in, "-neta", 0, "smallest scale for power-law constraint ");
  o.lo = optInt(in, "-lo", 4, "largest scale  for power-law constraint");
  o.gamma = optDouble(in, "-gamma", 0.01, "factor power law");
  o.power = optDouble(in, "-power", 1.0, "exponent power law");

  heading("\n--------------------------------------------------------");
  heading("---------------Options ---------------------------------");
  heading("--------------------------------------------------------");
  heading("--Mutiresolution pyramid --------------------------------------------------------");
  o.multiresol = optInt(in, "-multiresol", 1, "number of resolution levels");
  o.resolEnd = optInt(in, "-resolEnd", 1, "finest resolution level");

  heading("--Data model --------------------------------------------------------------------");
  o.norm = optDouble(in, "-norm", 2.0, "penalization for data term : 2=L2,1=L1,0=Leclerc");
  o.sigma_obs = optDouble(in, "-sigma_obs", 50.0,
                          "initial robust parameter control on data term (for norm L1 or leclerc)");
  o.sigBlur = optDouble(in, "-sigBlur", 0.0,
                        "amplitude of the isotropic blurring for image pre-smoothing (derivative operators)");
  o.sigDiff = optDouble(in, "-sigDiff", 0.0,
                        "passive scalar transport diffusion coefficient (instead of a simple OFC transport) ");
  o.offEdeges = optInt(in, "-offEdeges", 0, "border marge suppression from the data term ");

  heading("--Optimization and Initialization------------------------------------------------ ");
  o.nbItTrace = optInt(in, "-nbItTrace", 30, "nb iteration for trace randomization");
  o.eps = optDouble(in, "-eps", 1e-10, "precision for convergence of dual algorithm");
  o.nbItLbfgs = optInt(in, "-nbItLbfgs", 10, "nb iteration max lbfgs");
  o.Umean = optDouble(in, "-Umean", 0.0, "Initialization value for the average horizontal velocity");
  o.HS = optBool(in, "-HS", false, "Horn and Shunck multireoslution");
  o.initHS = optBool(in, "-initHS", false, " HS motion field at coarser resolutions (1/2^j | j > 1)");
  o.alpha = optDouble(in, "-alpha", 10.0, "Horn & Schunck regularization coefficient (if used)");
  o.lambdaInit = optDouble(in, "-lambdaInit", 1.0, "Initial lagrangian multipliers value");
  o.lambdaInitFile = optBool(in, "-lambdaInitFile", false,
                             "Initial lagrangian multipliers values from file \n\t\t\t\t\t\t(file path must appear in the 5-th line of input text file given in argument of -inPath)");

  heading("--ROI (cropping)-----------------------------------------------------------------");
  o.ofy = optInt(in, "-ofy", 0, "offset line number ");
  o.ofx = optInt(in, "-ofx", 0, "offset column number");
  o.Dx = optInt(in, "-Dx", -1, "whole Image column number");
  o.Dy = optInt(in, "-Dy", -1, "whole Image line number");
  resolveWholeImageSize(o);

  heading("--MISC---------------------------------------------------------------------------- ");
  o.pgm = optBool(in, "-pgm", false, "image in pgm format (true) (instead of tiff format (false))");
  o.divZero = optBool(in, "-divZero", false,
                      "divergence free projection at each resolution level (default false)");
  o.GT = optBool(in, "-GT", false,
                 "ground truth comparison (default=false) \n\t\t\t\t\t\t(true motion file path must appear in the 4-th line  of input text file given in argument of -inPath)");
  o.offGT = optInt(in, "-offGT", 0, " border dimx not considered for ground truth comparison");

  computeDerivedConstants(o);
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

namespace {

// The argument a -h, -help or --help switch stands for: help, alone in its place.
bool isHelpSwitch(const std::string& a) { return a == "-h" || a == "-help" || a == "--help"; }

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

std::string lowerCase(std::string s) {
  for (char& c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

// The option name that an argument beginning with '-' was most likely meant to be: one that it
// begins with or that begins with it (ignoring case), or one a character away (two for names of more
// than four letters); empty when none is that close.
std::string nearestOptionName(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return "";
  const std::string a = lowerCase(arg);
  std::string best;
  size_t bestScore = 3;
  for (const std::string& name : optionNames()) {
    const std::string n = lowerCase(name);
    const bool prefix = a.size() >= 3 && (a.compare(0, n.size(), n) == 0 || n.compare(0, a.size(), a) == 0);
    const size_t distance = editDistance(a, n);
    if (!prefix && distance > (n.size() > 5 ? 2u : 1u)) continue;
    const size_t score = prefix ? 0 : distance;
    // Ties (-DX: -dx or -Dx) go to the name closest with case.
    if (score < bestScore || (score == bestScore && !best.empty() && editDistance(arg, name) < editDistance(arg, best)))
      best = name, bestScore = score;
  }
  return best;
}

}  // namespace

const std::vector<std::string>& optionNames() {
  static const std::vector<std::string> names = {
      "-inPath", "-dy", "-dx", "-neta", "-lo", "-gamma", "-power", "-multiresol", "-resolEnd", "-norm", "-sigma_obs",
      "-sigBlur", "-sigDiff", "-offEdeges", "-nbItTrace", "-eps", "-nbItLbfgs", "-Umean", "-HS", "-initHS", "-alpha",
      "-lambdaInit", "-lambdaInitFile", "-ofy", "-ofx", "-Dx", "-Dy", "-pgm", "-divZero", "-GT", "-offGT"};
  return names;
}

std::vector<std::string> ignoredArgumentNotices(int argc, char** argv) {
  // What the parser reads: for every option, the first argument equal to its name and the argument
  // after it (its value); the help switches wherever they are.
  std::vector<bool> read(argc > 0 ? (size_t)argc : 0, false);
  for (const std::string& name : optionNames())
    for (int k = 0; k < argc; ++k)
      if (name == argv[k]) {
        read[k] = true;
        if (k + 1 < argc) read[k + 1] = true;
        break;
      }
  std::vector<std::string> notices;
  for (int k = 1; k < argc; ++k) {
    if (read[k] || isHelpSwitch(argv[k])) continue;
    const std::string arg = argv[k];
    const std::vector<std::string>& names = optionNames();
    const bool repeated = std::find(names.begin(), names.end(), arg) != names.end();
    // Every option is a name followed by its value: an unread argument in a name's place takes the
    // unread argument after it along. A repeated option (the first one counts) is no news.
    const bool takesNext = k + 1 < argc && !read[k + 1] && !isHelpSwitch(argv[k + 1]);
    if (!repeated) {
      std::string notice = "Argument " + quoted(arg) + " is not an option name: it is ignored";
      if (takesNext) notice += ", and so is the argument after it, " + quoted(argv[k + 1]);
      const std::string meant = nearestOptionName(arg);
      if (!meant.empty()) notice += " (did you mean " + meant + "?)";
      notices.push_back(notice);
    }
    if (takesNext) ++k;
  }
  return notices;
}
