#include "support/number_pins.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>
#include <vector>

#include "support/sha256.h"

namespace pins {

namespace {

bool endsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool separator(char c) { return std::isspace((unsigned char)c) || std::strchr(":;,()=", c) != nullptr; }

// A whole token written as a decimal number: [sign] digits [. digits] [e [sign] digits], with a digit
// before or after the point.
bool isNumber(const std::string& t) {
  size_t k = 0, digits = 0;
  if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
  for (; k < t.size() && std::isdigit((unsigned char)t[k]); ++k) ++digits;
  if (k < t.size() && t[k] == '.')
    for (++k; k < t.size() && std::isdigit((unsigned char)t[k]); ++k) ++digits;
  if (digits == 0) return false;
  if (k < t.size() && (t[k] == 'e' || t[k] == 'E')) {
    ++k;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
    const size_t start = k;
    for (; k < t.size() && std::isdigit((unsigned char)t[k]); ++k) {
    }
    if (k == start) return false;
  }
  return k == t.size();
}

// The value of the last digit of a number's text: 10^(exponent - digits after the point); with
// `fixedDecimals` false, at most the value of its sixth significant digit (a "%g" text drops trailing
// zeros). A zero's own digit says nothing of the precision: infinite, so that the other side decides.
double unitOf(const std::string& text, bool fixedDecimals) {
  const size_t point = text.find('.'), e = text.find_first_of("eE");
  int decimals = 0;
  if (point != std::string::npos) decimals = (int)((e == std::string::npos ? text.size() : e) - point - 1);
  const int exponent = e == std::string::npos ? 0 : std::atoi(text.c_str() + e + 1);
  const double printed = std::pow(10.0, exponent - decimals);
  if (fixedDecimals) return printed;
  const double v = std::fabs(std::strtod(text.c_str(), nullptr));
  if (v == 0) return std::numeric_limits<double>::infinity();
  return std::min(printed, std::pow(10.0, std::floor(std::log10(v)) - 5));
}

struct Scan {
  std::string text;                  // the output with each number replaced by '\x01'
  std::vector<std::string> numbers;  // the numbers' texts in order
  std::vector<std::string> columns;  // the column of each: its index in its line, or "r" for a raster byte
};

Scan scan(const std::string& name, const std::string& bytes) {
  Scan s;
  size_t end = bytes.size();
  if (endsWith(name, ".pgm")) {  // "P5", the size and the maxval, each on its line, then the raster
    size_t at = 0;
    for (int lines = 0; lines < 3 && at < bytes.size(); ++at)
      if (bytes[at] == '\n') ++lines;
    end = at;
  }
  int column = 0;
  for (size_t k = 0; k < end;) {
    if (separator(bytes[k])) {
      if (bytes[k] == '\n') column = 0;
      s.text.push_back(bytes[k++]);
      continue;
    }
    size_t stop = k;
    while (stop < end && !separator(bytes[stop])) ++stop;
    const std::string token = bytes.substr(k, stop - k);
    if (isNumber(token)) {
      s.text.push_back('\x01');
      s.numbers.push_back(token);
      s.columns.push_back(std::to_string(column++));
    } else {
      s.text += token;
    }
    k = stop;
  }
  for (size_t k = end; k < bytes.size(); ++k) {
    s.numbers.push_back(std::to_string((unsigned char)bytes[k]));
    s.columns.push_back("r");
  }
  return s;
}

struct Column {
  size_t count = 0;
  double unit = 0, sum = 0, signedSums[kSums] = {};
};

std::map<std::string, Column> columnsOf(const Scan& s) {
  std::map<std::string, Column> cols;
  for (size_t k = 0; k < s.numbers.size(); ++k) {
    Column& c = cols[s.columns[k]];
    const double v = std::strtod(s.numbers[k].c_str(), nullptr);
    const uint64_t signs = signWord(c.count++);
    c.unit = std::max(c.unit, unitOf(s.numbers[k], true));
    c.sum += v;
    for (int b = 0; b < kSums; ++b) c.signedSums[b] += (signs >> b & 1) ? -v : v;
  }
  return cols;
}

// A sum in whole units of the column's last digit, as the pin writes it.
void appendUnits(std::string& out, double sum, double unit) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", std::nearbyint(sum / unit));
  out += text;
}

// One column item of a pin, read back.
struct ColumnPin {
  std::string key;
  size_t count = 0;
  double unit = 0;
  std::vector<double> sums;  // the sum, then the kSums signed sums, in units
};

bool readColumnPin(const std::string& item, ColumnPin& c) {
  char key[64];
  int used = 0;
  if (std::sscanf(item.c_str(), "%63[^:]:%zu:%lg:%n", key, &c.count, &c.unit, &used) != 3 || !(c.unit > 0))
    return false;
  c.key = key;
  const char* at = item.c_str() + used;
  for (;;) {
    char* end = nullptr;
    c.sums.push_back(std::strtod(at, &end));
    if (end == at) return false;
    if (*end == '\0') break;
    if (*end != (c.sums.size() == 1 ? ':' : ',')) return false;
    at = end + 1;
  }
  return c.sums.size() == 1 + kSums;
}

std::vector<std::string> split(const std::string& s, char by) {
  std::vector<std::string> out;
  std::string item;
  std::istringstream in(s);
  while (std::getline(in, item, by))
    if (!item.empty()) out.push_back(item);
  return out;
}

}  // namespace

uint64_t signWord(uint64_t position) {
  uint64_t z = (position + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string numbersPin(const std::string& name, const std::string& bytes) {
  const Scan s = scan(name, bytes);
  std::string pin = "numbers\t" + sha256Hex(s.text) + "\t" + std::to_string(s.numbers.size());
  if (s.numbers.size() <= kEachLimit) {
    pin += "\teach\t";
    for (size_t k = 0; k < s.numbers.size(); ++k) pin += (k ? " " : "") + s.numbers[k];
    return pin;
  }
  pin += "\tcolumns\t";
  bool first = true;
  for (const auto& [key, c] : columnsOf(s)) {
    char head[96];
    std::snprintf(head, sizeof head, "%s%s:%zu:%.17g:", first ? "" : " ", key.c_str(), c.count, c.unit);
    pin += head;
    appendUnits(pin, c.sum, c.unit);
    for (int b = 0; b < kSums; ++b) {
      pin += b ? "," : ":";
      appendUnits(pin, c.signedSums[b], c.unit);
    }
    first = false;
  }
  return pin;
}

std::string numbersMismatch(const std::string& name, const std::string& got, const std::string& want) {
  const std::vector<std::string> g = split(got, '\t'), w = split(want, '\t');
  if (g.size() < 4 || w.size() < 4 || g[0] != "numbers" || w[0] != "numbers") return "not a numbers pin";
  if (g[1] != w[1]) return "the text around the numbers differs";
  if (g[2] != w[2] || g[3] != w[3]) return g[2] + " numbers instead of " + w[2];
  const std::vector<std::string> gi = split(g.size() > 4 ? g[4] : "", ' '), wi = split(w.size() > 4 ? w[4] : "", ' ');
  if (gi.size() != wi.size()) return "the pins hold different numbers of items";
  const bool fixed = endsWith(name, ".motion");
  for (size_t k = 0; k < wi.size(); ++k) {
    if (w[3] == "each") {
      const double a = std::strtod(gi[k].c_str(), nullptr), b = std::strtod(wi[k].c_str(), nullptr);
      const double tol = 1.5 * std::min(unitOf(gi[k], fixed), unitOf(wi[k], fixed));
      if (!(std::fabs(a - b) <= tol)) return "number " + std::to_string(k + 1) + " is " + gi[k] + " instead of " + wi[k];
      continue;
    }
    ColumnPin c[2];
    if (!readColumnPin(gi[k], c[0])) return "column item '" + gi[k] + "' unreadable";
    if (!readColumnPin(wi[k], c[1])) return "column item '" + wi[k] + "' unreadable";
    const std::string column = "column " + c[1].key;
    if (c[0].key != c[1].key) return "column " + c[0].key + " instead of " + c[1].key;
    if (c[0].count != c[1].count)
      return column + ": " + std::to_string(c[0].count) + " numbers instead of " + std::to_string(c[1].count);
    if (c[1].count > kSignsProvenUpTo)
      return column + ": " + std::to_string(c[1].count) + " numbers, more than the signed sums are proven for";
    const double scale = c[0].unit / c[1].unit;  // the got sums in the table's units
    for (size_t b = 0; b < c[1].sums.size(); ++b) {
      const double off = c[0].sums[b] * scale - c[1].sums[b];
      if (!(std::fabs(off) <= kTolerance)) {
        char what[160];
        std::snprintf(what, sizeof what, "%s: %s off by %.17g units of %g", column.c_str(),
                      b == 0 ? "the sum" : ("signed sum " + std::to_string(b)).c_str(), off, c[1].unit);
        return what;
      }
    }
  }
  return "";
}

}  // namespace pins
