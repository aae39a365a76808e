#include "io/motion_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <CImg.h>

#include "io/fail.h"
#include "io/input_file.h"
#include "io/field_planes.h"
#include "io/output_file.h"
#include "io/pixel_lines.h"

using namespace cimg_library;

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void failFile(const char* who, const std::string& name, const std::string& problem) {
  failRun(std::string(who) + ": " + quoted(name) + ": " + problem);
}

File openForReading(const char* who, const std::string& name) {
  std::string problem;
  File f(openTextInput(name, problem));
  if (!f) failFile(who, name, problem);
  return f;
}

// Refuses a window that does not lie inside a table of Dx x Dy pixels.
void checkWindow(const char* who, const std::string& name, int dx, int dy, int ofx, int ofy, int Dx,
                 int Dy) {
  if (dx < 0 || dy < 0 || ofx < 0 || ofy < 0 || (long long)ofx + dx > Dx || (long long)ofy + dy > Dy)
    failFile(who, name,
             "the window of " + std::to_string(dx) + " x " + std::to_string(dy) + " at (" +
                 std::to_string(ofx) + ", " + std::to_string(ofy) + ") does not lie inside the field of " +
                 std::to_string(Dx) + " x " + std::to_string(Dy));
}

// Skips the rest of the current line (its line break included); false when the file ends first.
bool skipLine(std::FILE* f) {
  int c;
  while ((c = std::fgetc(f)) != EOF && c != '\n') {
  }
  return c == '\n';
}

// Both planes of a motion field as float buffers, for the writers.
void checkWritableField(const char* who, const std::string& name, const CImg<double>& im) {
  if (im.depth() < 2) failFile(who, name, "the field has no second plane (v)");
  if (im.width() > 32767 || im.height() > 32767)
    failFile(who, name, "the field is larger than 32767 on a side");
}

// Appends what "%f" prints for the float f (promoted to double, as printf receives it): the value
// rounded to six decimals, ties to even, with its sign (so "-0.000000" for -0 and for small negative
// values). For a float below 2^43 in magnitude, f x 10^6 is exact in double (24 significant bits
// times 15625 x 2^6) and below 2^63, so rounding it to an integer gives the printed digits directly;
// larger values go through std::to_chars, which gives the same correctly rounded digits; infinities
// and NaN are written in the C library's own words.
void appendFixed6(std::string& out, float f) {
  const double v = f;
  char text[400];
  if (std::fabs(v) < 8796093022208.0) {  // 2^43
    const double scaled = std::nearbyint(v * 1e6);
    unsigned long long n = (unsigned long long)std::fabs(scaled);
    char* end = text + sizeof text;
    char* p = end;
    for (int d = 0; d < 6; ++d, n /= 10) *--p = (char)('0' + n % 10);
    *--p = '.';
    do *--p = (char)('0' + n % 10); while ((n /= 10) != 0);
    if (std::signbit(v)) *--p = '-';
    out.append(p, end);
  } else if (std::isfinite(v)) {
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6);
    out.append(text, r.ptr);
  } else {
    out.append(text, (size_t)std::snprintf(text, sizeof text, "%f", v));
  }
}

void appendInt(std::string& out, int v) {
  char text[16];
  out.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// The table's lines "%hd\t%hd\t%f\t%f[\t%f]\n", formed in a buffer that goes out in large blocks.
void writeTable(const float* U, const float* V, const float* Im, short nb_col, short nb_lig,
                const std::string& nom) {
  OutputFile out(nom);
  out.print("%hd %hd\n", nb_col, nb_lig);
  out.print(Im ? "#i\tj\tU\tV\tf\n" : "#i\tj\tU\tV\n");
  const size_t block = 1 << 16;
  std::string text;
  text.reserve(block + 512);
  for (int i = 0; i < nb_lig; ++i)
    for (int j = 0; j < nb_col; ++j) {
      const long k = (long)i * nb_col + j;
      appendInt(text, i);
      text.push_back('\t');
      appendInt(text, j);
      text.push_back('\t');
      appendFixed6(text, U[k]);
      text.push_back('\t');
      appendFixed6(text, V[k]);
      if (Im) {
        text.push_back('\t');
        appendFixed6(text, Im[k]);
      }
      text.push_back('\n');
      if (text.size() >= block) {
        out.write(text.data(), text.size());
        text.clear();
      }
    }
  out.write(text.data(), text.size());
  out.commit();
}

// A pixel line of a form other than the plain one: its indices and values, or what is wrong with it.
std::string parsePixelLine(const std::string& line, int& i, int& j, float& u, float& v) {
  const std::vector<std::string> f = lineFields(line);
  if (f.size() != 4)
    return "it holds " + std::to_string(f.size()) +
           " field(s), not the 4 of a pixel line (line index, column index, u, v)";
  long long index[2];
  for (int k = 0; k < 2; ++k)
    if (!integerField(f[k], index[k]))
      return std::string("its ") + (k == 0 ? "line" : "column") + " index " + quoted(f[k]) + " is not an integer";
  if (!floatField(f[2], u)) return "its u value " + quoted(f[2]) + " is not a number";
  if (!floatField(f[3], v)) return "its v value " + quoted(f[3]) + " is not a number";
  i = (int)std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, index[0]));
  j = (int)std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, index[1]));
  return "";
}

}  // namespace

void write_champ(const float* U, const float* V, short nb_col, short nb_lig, const std::string& nom) {
  writeTable(U, V, nullptr, nb_col, nb_lig, nom);
}

void write_champ_im(const float* U, const float* V, const float* Im, short nb_col, short nb_lig,
                    const std::string& nom) {
  writeTable(U, V, Im, nb_col, nb_lig, nom);
}

void write_aMotionFile(const std::string& fileMotionOut, const CImg<double>& im) {
  std::printf("%s\n", fileMotionOut.c_str());
  checkWritableField("write_aMotionFile", fileMotionOut, im);
  const int w = im.width(), h = im.height();
  std::vector<float> u, v;
  io_detail::floatPlanes(im, u, v);
  write_champ(u.data(), v.data(), (short)w, (short)h, fileMotionOut);
}

CImg<float> read_aMotionFile(const std::string& filename, int dx, int dy, int Dx, int ofx, int ofy) {
  return read_aMotionFileWindow(filename, dx, dy, dx, dy, Dx, ofx, ofy);
}

CImg<float> read_aMotionFileWindow(const std::string& filename, int dx, int dy, int dxNeed, int dyNeed, int Dx,
                                   int ofx, int ofy) {
  static const char* who = "read_aMotionFile";
  File f = openForReading(who, filename);
  std::FILE* fp = f.get();
  std::printf("%s\n", escaped(filename).c_str());

  // Line 1: the column count and the line count, nothing else, on a line of a bounded length (a
  // stream without line breaks is not read for ever).
  std::string text;
  bool tooLong = false;
  long long cols = 0, rows = 0;
  std::vector<std::string> size;
  // A failed read is said as such, not taken for the end of what the file holds.
  const auto refuseIfUnreadable = [&] {
    if (std::ferror(fp)) failFile(who, filename, "cannot be read on (" + std::string(std::strerror(errno)) + ")");
  };
  if (readInputLine(fp, text, tooLong)) {
    if (tooLong) failFile(who, filename, lineTooLong("line 1"));
    size = lineFields(text);
  }
  refuseIfUnreadable();
  if (size.size() < 2 || !integerField(size[0], cols) || !integerField(size[1], rows))
    failFile(who, filename, "the first line holds no column and line count");
  if (size.size() > 2) failFile(who, filename, "the first line holds more than the column and line count");
  if (Dx <= 0 || cols != Dx)
    failFile(who, filename,
             "the table has " + std::to_string(cols) + " columns, not the " + std::to_string(Dx) +
                 " asked for: a true motion table covers the whole image, -Dx columns (give -Dx and -Dy, the "
                 "image's width and height, when the -dx x -dy window is not the whole image)");
  if (rows > 32767) failFile(who, filename, "the table announces " + std::to_string(rows) + " lines, more than 32767");
  checkWindow(who, filename, dxNeed, dyNeed, ofx, ofy, Dx, (int)std::max(rows, -1LL));
  // Lines of the table that are read: down to the window's last line, or to the table's end when the
  // window reaches beyond it.
  const long long lines = std::min((long long)dy + ofy, rows);

  // Line 2: the column header, which begins with '#' and is skipped whole however long it is.
  const int first = std::fgetc(fp);
  if (first != '#' && first != EOF)
    failFile(who, filename, "line 2 is not the column header (a line beginning with '#', \"#i\\tj\\tU\\tV\")");
  if (first == EOF || !skipLine(fp)) {
    refuseIfUnreadable();
    failFile(who, filename, "the file ends before the first pixel line");
  }

  // Pixel lines, lines of the field outer and columns inner: each holds its line index, its column
  // index, u and v, and nothing else. Lines of the plain form are converted by the scanner; any
  // other line is parsed here as fscanf's "%d %d %f %f" would read it, or refused.
  const size_t n = (size_t)lines * (size_t)Dx;
  std::vector<float> u(n), v(n);
  io_detail::PixelLineScanner scanner(fp);
  using Line = io_detail::PixelLineScanner::Line;
  using Taken = io_detail::PixelLineScanner::Taken;
  // Where pixel line k + 1 is, and the end of a file that holds k of them, for the messages.
  const auto where = [](size_t k) {
    return std::to_string(k + 1) + " (line " + std::to_string(k + 3) + " of the file)";
  };
  const auto ends = [n](size_t k) {
    return "the file ends after " + std::to_string(k) + " of the " + std::to_string(n) + " pixel lines needed";
  };
  int line = 0, column = 0;  // the place of pixel line k in the table
  for (size_t k = 0; k < n; ++k) {
    int i = 0, j = 0;
    const Line got = scanner.next(i, j, u[k], v[k]);
    const Taken taken = got == Line::other ? scanner.take(text) : Taken::none;
    if (got == Line::end || (got == Line::other && taken == Taken::none)) {
      refuseIfUnreadable();
      failFile(who, filename, ends(k));
    }
    if (got == Line::other) {
      if (taken == Taken::tooLong)
        failFile(who, filename, "pixel line " + where(k) + " is longer than " +
                                    std::to_string(io_detail::PixelLineScanner::kBlock) + " characters");
      // A last line without its line break is where a cut file ends, however well its start parses.
      if (taken == Taken::cut) failFile(who, filename, ends(k) + " (the next is cut: it has no line break)");
      const std::string problem = parsePixelLine(text, i, j, u[k], v[k]);
      if (!problem.empty())
        failFile(who, filename, "pixel line " + std::to_string(k + 1) + " does not parse (line " +
                                    std::to_string(k + 3) + " of the file): " + problem);
      if (!std::isfinite(u[k]) || !std::isfinite(v[k]))
        failFile(who, filename, "pixel line " + where(k) + " holds a value that is not a finite number");
    }
    // The indices say where the line belongs: a line missing or out of order would shift every value after it.
    if (i != line || j != column)
      failFile(who, filename,
               "pixel line " + where(k) + " holds the indices " + std::to_string(i) + " " + std::to_string(j) +
                   ", not those of its place in the table (line " + std::to_string(line) + ", column " +
                   std::to_string(column) + ")");
    if (++column == Dx) column = 0, ++line;
  }

  return io_detail::fieldWindow(u, v, dx, dy, ofx, ofy, Dx, lines);
}

CImg<float> read_aUVFile(const std::string& filename, int dx, int dy, int Dx, int Dy, int ofx, int ofy) {
  static const char* who = "read_aUVFile";
  checkWindow(who, filename, dx, dy, ofx, ofy, Dx, Dy);
  File f = openForReading(who, filename);
  std::FILE* fp = f.get();
  std::printf("%s\n", escaped(filename).c_str());

  // Stored column by column with y pointing up: u as read, v negated, then lines reversed.
  CImg<float> field(Dx, Dy, 2, 1, 0.0f);
  for (int x = 0; x < Dx; ++x)
    for (int y = 0; y < Dy; ++y) {
      int i, j;
      float u, v;
      const int got = std::fscanf(fp, "%d %d %f %f", &i, &j, &u, &v);
      if (got != 4) {
        const long k = (long)x * Dy + y;
        if (got == EOF || std::feof(fp))
          failFile(who, filename,
                   "the file ends after " + std::to_string(k) + " of the " +
                       std::to_string((long)Dx * Dy) + " lines needed");
        failFile(who, filename, "line " + std::to_string(k + 1) + " does not parse");
      }
      field(x, Dy - 1 - y, 0) = u;
      field(x, Dy - 1 - y, 1) = -v;
    }

  CImg<float> out(dx, dy, 2, 1);
  for (int p = 0; p < 2; ++p)
    for (int y = 0; y < dy; ++y)
      for (int x = 0; x < dx; ++x) out(x, y, p) = field(x + ofx, y + ofy, p);
  return out;
}

CImg<float> read_aUVQuellorFile(const std::string& filename, int dx, int dy, int Dx, int ofx, int ofy,
                                double Umoy) {
  static const char* who = "read_aUVQuellorFile";
  const long long lines = (long long)dy + ofy;
  checkWindow(who, filename, dx, dy, ofx, ofy, Dx, (int)(lines > 0 ? lines : 0));
  CImg<float> field(Dx, (int)lines, 2, 1, 0.0f);
  File f = openForReading(who, filename);
  std::FILE* fp = f.get();
  std::printf("%s\n", escaped(filename).c_str());

  char line[120];
  long lineNo = 0;
  while (std::fgets(line, sizeof line, fp)) {
    ++lineNo;
    const bool whole = std::strchr(line, '\n') != nullptr;
    if (!whole) skipLine(fp);  // characters beyond the line buffer are dropped
    if (std::strcmp(line, "##\n") == 0 || (!whole && std::strcmp(line, "##") == 0)) break;
    // Blank lines carry nothing.
    if (line[std::strspn(line, " \t\r\n")] == '\0') continue;
    int col, lin;
    float u, v;
    if (std::sscanf(line, "\t%d %d %f %f", &col, &lin, &u, &v) != 4)
      failFile(who, filename, "line " + std::to_string(lineNo) + " does not parse");
    if (col < 0 || col >= Dx || lin < 0 || lin >= lines) continue;
    field(col, lin, 0) = (float)(u - Umoy);
    field(col, lin, 1) = v;
  }

  CImg<float> out(dx, dy, 2, 1);
  for (int p = 0; p < 2; ++p)
    for (int y = 0; y < dy; ++y)
      for (int x = 0; x < dx; ++x) out(x, y, p) = -field(x + ofx, y + ofy, p);
  return out;
}

void write_SP(const CImg<double>& S1, const CImg<double>& S2, const CImg<double>& S3,
              const CImg<double>& S4, const CImg<double>& S5, const CImg<double>& S6,
              const CImg<double>& S7, const CImg<double>& S8, const CImg<double>& S9,
              const CImg<double>& S10, const CImg<double>& S11, const CImg<double>& S12,
              const CImg<double>& S13, const CImg<double>& S14, const CImg<double>& S15,
              const CImg<double>& S16, const CImg<double>& S17, const CImg<double>& S18,
              const CImg<double>& S19, const CImg<double>& S20, const std::string& filename) {
  static const char* who = "write_SP";
  const CImg<double>* S[20] = {&S1,  &S2,  &S3,  &S4,  &S5,  &S6,  &S7,  &S8,  &S9,  &S10,
                               &S11, &S12, &S13, &S14, &S15, &S16, &S17, &S18, &S19, &S20};
  const int length = S1.width();
  for (int c = 1; c < 20; ++c)
    if (S[c]->width() < length)
      failFile(who, filename,
               "curve " + std::to_string(c + 1) + " holds " + std::to_string(S[c]->width()) +
                   " values, fewer than the " + std::to_string(length) + " of the first curve");

  OutputFile out(filename, [](const std::string& name, int error) {
    failFile(who, name, std::string("cannot be created (") + std::strerror(error) + ")");
  });
  for (int l = 0; l < length; ++l) {
    out.print("%d", l);
    for (int c = 0; c < 20; ++c) out.print(" %e", S[c]->data()[l]);
    out.print("\n");
  }
  out.commit();
}
