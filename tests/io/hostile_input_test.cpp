// Hostile and malformed inputs, one table per reader: TIFF files whose tags lie, PGM files of another
// kind or with endless headers, list files with CRLF line ends or no line break, multiplier files and
// motion tables holding values that are not finite numbers, sizes that wrap around in 16 or 32 bits.
// Each refusal is one line on standard error naming the file, exit status 1; valid TIFF files give
// exactly the values the image library's own loader gives.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/expect.h"
#include "support/hostile_files.h"
#include "support/program_run.h"

using namespace cimg_library;

namespace {

using HostileInput = TempDirTest;

std::string bytes8(int n, int start = 0) {
  std::string s;
  for (int k = 0; k < n; ++k) s.push_back((char)(unsigned char)(start + 7 * k));
  return s;
}

TEST_F(HostileInput, MalformedTiffFilesAreRefusedWithOneLine) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float withNan[12] = {1, 2, 3, 4, 5, nan, 7, 8, 9, 10, 11, 12};
  TiffLayout pastEnd, manySamples, unknownCodec, hugeSize, nanFloat, wide, tileTags, signed16, cmyk;
  pastEnd.pixels = bytes8(12), pastEnd.pixelOffset = 100000;
  manySamples.pixels = bytes8(12), manySamples.samplesPerPixel = 100;  // 1200 bytes announced, 12 present
  unknownCodec.pixels = bytes8(12), unknownCodec.compression = 9999;
  hugeSize.width = hugeSize.height = 65535, hugeSize.pixels = bytes8(4);
  nanFloat.bitsPerSample = 32, nanFloat.sampleFormat = 3, nanFloat.pixels = littleEndianBytes(withNan, 12);
  wide.width = 131073, wide.height = 2, wide.pixels = bytes8(64);
  tileTags.pixels = bytes8(12), tileTags.tileTagsOnStrips = true;
  signed16.bitsPerSample = 16, signed16.sampleFormat = 2, signed16.pixels = bytes8(24);
  cmyk.pixels = bytes8(12), cmyk.photometric = 5;  // separated (CMYK)
  const struct {
    const char* name;
    std::string content;
    const char* problem;
  } cases[] = {{"pastend.tif", tiffBytes(pastEnd), "does not decode"},
               {"samples.tif", tiffBytes(manySamples), "truncated"},
               {"codec.tif", tiffBytes(unknownCodec), "compression"},
               {"huge.tif", tiffBytes(hugeSize), "65535 x 65535 is not between 1 and 32767"},
               {"nan.tif", tiffBytes(nanFloat), "column 1, line 1 is not a finite number"},
               {"wide.tif", tiffBytes(wide), "131073 x 2 is not between 1 and 32767"},
               {"signed.tif", tiffBytes(signed16), "16-bit signed integers"},
               {"cmyk.tif", tiffBytes(cmyk), "photometric interpretation 5"},
               {"empty.tif", "", "cannot be read"},
               {"text.tif", "not a tiff at all", "cannot be read"}};
  for (const auto& c : cases) {
    const std::string f = file(c.name, c.content);
    expectRefusal(runInChild([&] { read_tiff(f); }), {"TIFF file '" + f + "'", c.problem});
  }
  // Tile size tags beside the strip tags: libtiff reads the strips.
  EXPECT_EQ(valuesOf(read_tiff(file("tiletags.tif", tiffBytes(tileTags)))), valuesOf(CImg<unsigned char>(
      (const unsigned char*)tileTags.pixels.data(), 4, 3)));
  // The same tags with every byte present are read: the first sample of each pixel.
  manySamples.pixels = bytes8(1200);
  const CImg<double> first = read_tiff(file("many.tif", tiffBytes(manySamples)));
  ASSERT_TRUE(first.is_sameXYZC(4, 3, 1, 1));
  for (int k = 0; k < 12; ++k) EXPECT_EQ(first[k], (double)(unsigned char)(7 * 100 * k)) << k;
}

// Writes a TIFF through libtiff: sample s of pixel (x, y) is value(x, y, s).
void writeTiff(const std::string& path, std::uint32_t w, std::uint32_t h, std::uint16_t spp, std::uint16_t bits,
               std::uint16_t format, std::uint16_t planar, std::uint16_t compression, bool tiled, bool bigEndian,
               const std::function<double(int, int, int)>& value) {
  TIFF* t = TIFFOpen(path.c_str(), bigEndian ? "wb" : "wl");
  ASSERT_TRUE(t != nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, format);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, planar);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, spp == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  const std::uint32_t tw = tiled ? 16 : w, th = tiled ? 16 : 2;
  if (tiled) {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, tw);
    TIFFSetField(t, TIFFTAG_TILELENGTH, th);
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, th);
  }
  const int planes = planar == PLANARCONFIG_SEPARATE ? spp : 1, perPixel = planar == PLANARCONFIG_SEPARATE ? 1 : spp;
  std::vector<unsigned char> buf((size_t)tw * th * perPixel * bits / 8);
  for (int p = 0; p < planes; ++p)
    for (std::uint32_t y0 = 0; y0 < h; y0 += th)
      for (std::uint32_t x0 = 0; x0 < w; x0 += tw) {
        size_t k = 0;
        for (std::uint32_t y = y0; y < y0 + th; ++y)
          for (std::uint32_t x = x0; x < x0 + tw; ++x)
            for (int s = 0; s < perPixel; ++s, ++k) {
              const double v = (x < w && y < h) ? value(x, y, p + s) : 0;
              if (bits == 8) buf[k] = (unsigned char)v;
              if (bits == 16) ((std::uint16_t*)buf.data())[k] = (std::uint16_t)v;
              if (bits == 32) ((float*)buf.data())[k] = (float)v;
            }
        const tmsize_t stripBytes = (tmsize_t)(std::min(th, h - y0) * w * perPixel * bits / 8);
        ASSERT_GE(tiled ? TIFFWriteEncodedTile(t, TIFFComputeTile(t, x0, y0, 0, p), buf.data(), (tmsize_t)buf.size())
                        : TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, y0, p), buf.data(), stripBytes),
                  0);
      }
  TIFFClose(t);
}

TEST_F(HostileInput, ValidTiffLayoutsGiveTheFirstSampleExactly) {
  const std::uint16_t S = SAMPLEFORMAT_UINT, F = SAMPLEFORMAT_IEEEFP, C = PLANARCONFIG_CONTIG,
                      P = PLANARCONFIG_SEPARATE;
  const struct {
    std::uint16_t spp, bits, format, planar, compression;
    bool tiled, bigEndian;
  } layouts[] = {{1, 8, S, C, COMPRESSION_NONE, false, false},     {1, 16, S, C, COMPRESSION_LZW, false, true},
                 {1, 32, F, C, COMPRESSION_DEFLATE, false, false}, {3, 8, S, C, COMPRESSION_PACKBITS, false, false},
                 {3, 16, S, P, COMPRESSION_NONE, false, true},     {2, 32, F, P, COMPRESSION_LZW, false, false},
                 {1, 8, S, C, COMPRESSION_NONE, true, false},      {3, 16, S, C, COMPRESSION_DEFLATE, true, true},
                 {2, 32, F, P, COMPRESSION_NONE, true, false}};
  int n = 0;
  for (const auto& l : layouts) {
    const double scale = l.bits == 8 ? 1 : l.bits == 16 ? 257 : 0.37;
    const auto value = [&](int x, int y, int s) { return std::fmod(x * 31 + y * 17 + s * 101, 256) * scale; };
    const std::string f = dir + "/layout" + std::to_string(n++) + ".tif";
    writeTiff(f, 37, 21, l.spp, l.bits, l.format, l.planar, l.compression, l.tiled, l.bigEndian, value);
    const CImg<double> got = read_tiff(f);
    ASSERT_TRUE(got.is_sameXYZC(37, 21, 1, 1)) << f;
    bool exact = true;
    cimg_forXY(got, x, y) exact = exact && got(x, y) == (double)(float)value(x, y, 0);
    EXPECT_TRUE(exact) << f;
    // Strip files: what the image library's own loader gives, first channel.
    if (!l.tiled) {
      CImg<double> lib;
      lib.load_tiff(f.c_str(), 0, 0);
      EXPECT_TRUE(got == lib.get_channel(0)) << f;
    }
  }
}

TEST(HostileInputExternal, TiffAndPgmTwinsHoldTheSameValues) {
  const std::string base = std::string(VRM_EXTERNAL_DATA_DIR) + "/cai-piv-samples/DNS_turbulence_0000";
  for (const char* pair : {"1_img1", "1_img2", "2_img1", "2_img2"}) {
    const std::string tif = base + pair + ".tif", pgm = base + pair + ".pgm";
    if (readFileBytes(tif).empty()) GTEST_SKIP() << "external data absent: " << tif;
    EXPECT_TRUE(read_tiff(tif) == CImg<double>(read_pgm(pgm, 256, 256, 0, 0))) << tif;
  }
}

TEST_F(HostileInput, PgmOfAnotherKindOrWithAnEndlessHeaderIsRefused) {
  const std::string raster = bytes8(6);
  const struct {
    const char* name;
    std::string content;
    const char* problem;
  } cases[] = {{"ascii.pgm", "P2\n3 2\n255\n1 2 3 4 5 6\n", "magic \"P5\""},
               {"colour.pgm", "P6\n3 2\n255\n" + raster + raster + raster, "magic \"P5\""},
               {"oneline.pgm", "P5 3 2 255\n" + raster, "\"P5\" alone"},
               {"empty.pgm", "", "magic \"P5\""},
               {"p.pgm", "P", "magic \"P5\""},
               {"endless.pgm", "P5\n#" + std::string(1100000, 'x'), "header is longer than 1048576 bytes"},
               {"nosize.pgm", "P5\n# only a comment\n", "header ends before the image size"}};
  for (const auto& c : cases) {
    const std::string f = file(c.name, c.content);
    expectRefusal(runInChild([&] { read_pgm(f, 3, 2, 0, 0); }), {f, c.problem});
  }
  // A device that never ends is refused at once.
  expectRefusal(runInChild([] { read_pgm("/dev/zero", 3, 2, 0, 0); }), {"/dev/zero", "magic"});
  // Blanks after the magic and a CRLF line end are still binary PGM.
  EXPECT_EQ(valuesOf(read_pgm(file("crlf.pgm", "P5 \r\n3 2\n255\n" + raster), 3, 2, 0, 0)),
            (std::vector<double>{0, 7, 14, 21, 28, 35}));
  // The line break that ends the maxval line is looked for within 1 MiB after the one character: a
  // longer line of blanks ends no header, and the raster follows the one character (its samples the
  // blanks). A raster of blanks right after "255 " is read without looking for the line's end.
  const std::string head = "P5\n3 2\n255 ", blanks((1 << 20) - 1, ' ');
  EXPECT_EQ(valuesOf(read_pgm(file("mib.pgm", head + blanks + "\n" + raster + "\x05"), 3, 2, 0, 0)),
            (std::vector<double>{0, 7, 14, 21, 28, 35}));
  EXPECT_EQ(valuesOf(read_pgm(file("over.pgm", head + blanks + " \n" + raster + "\x05"), 3, 2, 0, 0)),
            (std::vector<double>(6, 32)));
  EXPECT_EQ(valuesOf(read_pgm(file("tabs.pgm", "P5\n3 2\n255\r" + std::string(2 << 20, '\t') + "\n" + raster + "\x05"),
                              3, 2, 0, 0)),
            (std::vector<double>(6, 9)));
  const CImg<short> flat = read_pgm(file("flat.pgm", "P5\n1024 1025\n255 " + std::string(1024 * 1025, ' ')), 1024, 1025, 0, 0);
  EXPECT_TRUE(flat.min() == 32 && flat.max() == 32);
}

// An image is read by seeking in its file: a character device that cannot seek (a terminal) is refused.
// An image on a file that cannot seek is refused on opening it, before a byte is read: a terminal
// holding no data, part of a header or a whole one, and /dev/ptmx (whose open makes a new terminal),
// PGM and TIFF alike. Reading such a file would wait for a typist; the alarm ends a child that waits.
// A read that fails (EIO on /proc/self/mem) is named as such, not taken for what the file holds.
TEST_F(HostileInput, ImagesThatCannotSeekOrBeReadAreRefusedAtOnce) {
  const struct { const char* who; std::function<void(const std::string&)> read; } readers[] = {
      {"PGM file '%': cannot be read", [](const std::string& f) { read_pgm(f, 1, 1, 0, 0); }},
      {"TIFF file '%' cannot be read", [](const std::string& f) { read_tiff(f); }}};
  const std::string noSeek = ": an image is read by seeking in its file, which this one does not allow (Illegal seek)";
  for (const auto& r : readers) {
    const auto expectLine = [&](const std::string& f, const ChildResult& got, const std::string& problem) {
      std::string line = r.who;
      line.replace(line.find('%'), 1, f);
      EXPECT_EQ(got.err, line + problem + "\n") << r.who;
      EXPECT_EQ(got.exitCode, 1) << r.who << " " << f;
    };
    for (const std::string& written : {std::string(), std::string("P5\n1"), std::string("P5\n1 1\n255\n"),
                                       std::string("II*\0", 4)}) {
      std::string terminal;
      const int master = openTerminalHolding(written, terminal);
      if (master < 0) GTEST_SKIP() << "no pseudo-terminal here";
      expectLine(terminal, runInChild([&] { alarm(5), r.read(terminal); }), noSeek);
      close(master);
    }
    if (access("/dev/ptmx", R_OK) == 0)
      expectLine("/dev/ptmx", runInChild([&] { alarm(5), r.read("/dev/ptmx"); }), noSeek);
  }
  if (access("/proc/self/mem", R_OK) != 0) GTEST_SKIP() << "no /proc/self/mem here";
  const ChildResult mem = runInChild([] { read_pgm("/proc/self/mem", 1, 1, 0, 0); });
  EXPECT_EQ(mem.err, "PGM file '/proc/self/mem': cannot be read (Input/output error)\n");
}

TEST_F(HostileInput, ListFileLinesLoseTheirCarriageReturnAndStayBounded) {
  std::vector<std::string> lines = alloc_seqPath(5);
  read_path(file("crlf", "a.pgm\r\nb.pgm\r\nout/\r\n\r\nlambda.txt\r\n"), 5, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a.pgm", "b.pgm", "out/", "", "lambda.txt"}));
  const std::string longLine = file("long", "a\n" + std::string(5000, 'x') + "\nout/\n");
  expectRefusal(runInChild([&] { read_path(longLine, 5, lines); }), {longLine, "line 2 is longer than 4096"});
  expectRefusal(runInChild([&] { read_path("/dev/zero", 5, lines); }), {"/dev/zero", "line 1 is longer than"});
}

TEST_F(HostileInput, NonFiniteMultipliersAndTrueMotionsAreRefusedNamingTheLine) {
  CImg<double> lambda(3, 1, 1, 1, 0.0), cross(3, 1, 1, 1, 0.0);
  for (const char* bad : {"nan 1", "1 inf", "1e39 0", "-INF 2"}) {
    const std::string f = file("lambda", "1 1\n0.5 0.5\n" + std::string(bad) + "\n");
    expectRefusal(runInChild([&] { readLambdaInit(lambda, cross, f); }), {f, "line 3", "not a finite number"});
  }
  const std::string head = "2 2\n#i\tj\tU\tV\n0\t0\t1\t1\n0\t1\t1\t1\n";
  for (const char* bad : {"1\t0\tnan\t1\n", "1\t0\t1\t-inf\n", "1\t0\t1e39\t0\n"}) {
    const std::string f = file("t.motion", head + bad + "1\t1\t1\t1\n");
    expectRefusal(runInChild([&] { read_aMotionFile(f, 2, 2, 2, 0, 0); }),
                  {f, "pixel line 3 (line 5 of the file)", "not a finite number"});
  }
  const std::string tall = file("tall.motion", "2 40000\n#i\tj\tU\tV\n0\t0\t1\t1\n0\t1\t1\t1\n");
  expectRefusal(runInChild([&] { read_aMotionFile(tall, 2, 1, 2, 0, 0); }), {tall, "40000 lines, more than 32767"});
}

// Edits of a written 3 x 2 table (tabs for blanks and "\r\n" for line ends read the same) and of
// multiplier files: read exactly, or refused naming the line.
TEST_F(HostileInput, TrueTablesAndMultiplierFilesAreReadLineByLine) {
  const float U[6] = {0.5f, -1, 2, 0.25f, 3, -0.125f}, V[6] = {1, 2, 3, 4, 5, 6};
  write_champ(U, V, 3, 2, dir + "/t.motion");
  using L = std::vector<std::string>;
  const std::string table = readFileBytes(dir + "/t.motion");
  const auto edit = [&](const std::function<void(L&)>& e) { return editLines(table, e); };
  const struct { std::string content; const char* problem; } tables[] = {
      {edit([](L&) {}), ""},
      {edit([](L& l) { for (std::string& x : l) std::replace(x.begin(), x.end(), '\t', ' '), x += " \r"; }), ""},
      {edit([](L& l) { l.erase(l.begin() + 1); }), "line 2 is not the column header"},
      {edit([](L& l) { l.erase(l.begin() + 3); }),
       "pixel line 2 (line 4 of the file) holds the indices 0 2, not those of its place in the table (line 0, "
       "column 1)"},
      {edit([](L& l) { for (int k = 2; k < 8; ++k) l[k].erase(l[k].rfind('\t')); }),
       "pixel line 1 does not parse (line 3 of the file): it holds 3 field(s), not the 4"},
      {edit([](L& l) { l[6].erase(l[6].rfind('\t') + 1); }), "pixel line 5 does not parse (line 7 of the file)"},
      {edit([](L& l) { l[7].resize(10), l.pop_back(); }), "ends after 5 of the 6 pixel lines needed (the next is cut"}};
  for (const auto& c : tables) {
    const std::string f = file("case.motion", c.content);
    CImg<float> got;
    if (*c.problem) {
      expectRefusal(runInChild([&] { read_aMotionFile(f, 3, 2, 3, 0, 0); }), {f, c.problem});
    } else {
      captureStdout([&] { got = read_aMotionFile(f, 3, 2, 3, 0, 0); });
      EXPECT_EQ(valuesOf(got), (std::vector<double>{0.5, -1, 2, 0.25, 3, -0.125, 1, 2, 3, 4, 5, 6})) << c.content;
    }
  }
  const struct { const char* content; const char* problem; } multipliers[] = {
      {"0.5 0.25\n2\t3\r\n-1 1e3", ""}, {"1 2 3\n1 2 3\n1 2 3\n", "line 1 holds 3 value(s), not the pair"},
      {"1 1\n1\n1 1\n", "line 2 holds 1 value(s)"}, {"1 1\n\n1 1\n", "line 3 of the 3 needed holds no pair of numbers"},
      {" \r\n0.5 0.25\n\t\n\n2 3\n-1 1e3\n", ""},  // blank lines hold no pair
      {"1 1\n1 1\n1 x\n", "line 3 holds 'x', which is not a number"},
      // Messages name the line of the file, blank lines counted.
      {"\n1 1\n\n1 x\n", "line 4 holds 'x', which is not a number"}, {"1 1\n \n\t\n1 1 1\n", "line 4 holds 3 value(s)"},
      {"\r\n\n1 inf\n", "line 3 holds a value that is not a finite number"}};
  for (const auto& c : multipliers) {
    const std::string f = file("lambda", c.content);
    CImg<double> lambda(3, 1, 1, 1, 0.0), cross(3, 1, 1, 1, 0.0);
    if (*c.problem)
      expectRefusal(runInChild([&] { readLambdaInit(lambda, cross, f); }), {f, c.problem});
    else
      EXPECT_EQ(captureStdout([&] { readLambdaInit(lambda, cross, f); }), f + "\n0.5 0.25\n2 3\n-1 1000\n");
  }
}

TEST_F(HostileInput, PgmHeaderAndRasterAsTheFormatDefinesThem) {
  const std::string raster("\x0a\x20\x07\xff", 4), ten("\xff\x03\x00\x01", 4), big("\x03\xff\x00\x01", 4);
  const struct { std::string content; int w, h; const char* problem; std::vector<double> values; } cases[] = {
      {"P5\n2 2\n255\n" + raster, 2, 2, "", {10, 32, 7, 255}},
      {"P5\n2 2\n255 " + raster, 2, 2, "", {10, 32, 7, 255}},
      // The same bytes as "255 \n" and a raster followed by bytes: the file cannot tell, the line break counts.
      {"P5\n2 2\n255 " + raster + std::string(200, '\n'), 2, 2, "", {32, 7, 255, 10}},
      {"P5\r\n2 2\r\n255\r\n" + raster, 2, 2, "", {10, 32, 7, 255}},
      {"P5 # by hand\n# size\n2 # width\n2#height\n# maxval\n255\t" + raster, 2, 2, "", {10, 32, 7, 255}},
      {"P5\n2 2\n255# ends the header\n" + raster, 2, 2, "", {10, 32, 7, 255}},
      {"P5\n2 1\n1023\n" + ten, 2, 1, "", {1023, 256}},
      {"P5\n2 2\n255x" + raster, 2, 2, "the maxval is not followed by one white-space character", {}},
      {"P5\n2 1\n1023\n" + ten.substr(0, 2) + std::string("\x00\x04", 2), 2, 1, "column 1, line 0 is 1024", {}},
      {"P5\n1 2\n1023\n" + ten.substr(0, 2) + big.substr(0, 2), 1, 1,
       "the sample at column 0, line 1 is 65283; with maxval 1023 samples are two bytes, least significant first, "
       "at most 1023", {}}};
  for (const auto& c : cases) {
    const std::string f = file("case.pgm", c.content);
    if (*c.problem)
      expectRefusal(runInChild([&] { read_pgm(f, c.w, c.h, 0, 0); }), {f, c.problem});
    else
      EXPECT_EQ(valuesOf(read_pgm(f, c.w, c.h, 0, 0)), c.values) << c.content;
  }
}

// Each ending of the maxval line, 8 and 10 bits, with the raster (first sample 10) alone to the end of
// the file or followed by bytes. With bytes after it, "255 " and a raster "\n..." are "255 \n" and a
// raster one byte later (the line break counts): (32, 7, 255, 5) in 8 bits, a sample 8192 in 10 bits.
// A tab is a blank wherever it stands on the maxval line.
TEST_F(HostileInput, PgmRasterStartsWhereTheFileSaysAfterTheMaxval) {
  const struct { const char* end; bool lateWithBytesAfter; } forms[] = {
      {"\n", false},        {" \n", false},    {"\t \r\n", false}, {"\r\n", false},     {" # note\n", false},
      {"# note\n", false},  {" ", true},       {"\t", true},       {"\r", true},       {"\t\n", false},
      {" \t\n", false},     {" \t# c\n", false}, {"\r\t\n", false},  {"\t#\t\n", false}};
  for (const int maxval : {255, 1023})
    for (const auto& form : forms)
      for (const std::string after : {"", "\x05\x05\x05"}) {
        const std::string raster = maxval == 255 ? "\x0a\x20\x07\xff" : std::string("\x0a\0\x20\0\x07\0\xff\x03", 8);
        const std::string f = file("form.pgm", "P5\n2 2\n" + std::to_string(maxval) + form.end + raster + after);
        const bool late = form.lateWithBytesAfter && !after.empty();
        const ChildResult r = runInChild([&] { for (double v : valuesOf(read_pgm(f, 2, 2, 0, 0))) printf("%g ", v); });
        const std::string late10 = "PGM file '" + f + "': the sample at column 0, line 0 is 8192";
        EXPECT_EQ(r.out + r.err.substr(0, r.err.find(';')),
                  !late ? "10 32 7 " + std::to_string(maxval) + " " : maxval == 255 ? "32 7 255 5 " : late10)
            << maxval << " '" << form.end << "' " << after.size();
      }
}

// The image readers refuse a FIFO (they seek) and every reader a folder before opening it; the text
// readers read a FIFO: without a writer it is empty at once (refused as an empty file), with one they
// wait for its data. Every reader reads a character device and shows control characters of a name as
// '?' (a byte 0x80..0x9F outside UTF-8 too); a list line that the run uses is refused for holding one
// (not for such a byte: in cp1252 it is a letter).
TEST_F(HostileInput, InputsThatAreNotFilesAndNamesThatAreNotText) {
  const std::string fifo = dir + "/fifo", folder = dir + "/folder", odd = dir + "/\x1b[31mred\r\x9b\xc3\x9b";
  ASSERT_TRUE(mkfifo(fifo.c_str(), 0600) == 0 && std::filesystem::create_directory(folder));
  std::vector<std::string> lines = alloc_seqPath(5);
  CImg<double> lambda(2, 1, 1, 1, 0.0), cross(2, 1, 1, 1, 0.0);
  // Each text reader with what a writer sends through the FIFO, part of what the reader shows, and
  // its refusal of an empty file.
  const struct { const char* who; std::function<void(const std::string&)> read; std::string sent, shown, empty; } readers[] = {
      {"List file", [&](const std::string& f) { read_path(f, 5, lines), std::printf("%s", lines[2].c_str()); },
       "a.pgm\nb.pgm\nout/\n", "out/", "holds 0 line(s)"},
      {"PGM file", [](const std::string& f) { read_pgm(f, 1, 1, 0, 0); }, "", "",
       "is a FIFO (named pipe), not a regular file or a character device: an image is read by seeking"},
      {"TIFF file", [](const std::string& f) { read_tiff(f); }, "", "", "is a FIFO (named pipe)"},
      {"read_aMotionFile", [](const std::string& f) { std::printf("%g", read_aMotionFile(f, 1, 1, 1, 0, 0)[1]); },
       "1 1\n#i\tj\tU\tV\n0\t0\t0.5\t-2\n", "\n-2", "the first line holds no column and line count"},
      {"Multiplier file", [&](const std::string& f) { readLambdaInit(lambda, cross, f); }, "1 2\n3 4\n", "\n3 4\n",
       "line 1 of the 2 needed holds no pair of numbers"}};
  for (const auto& r : readers) {
    expectRefusal(runInChild([&] { alarm(20), r.read(fifo); }), {r.who, "'" + fifo + "'", r.empty});
    // A writer opens (at once: a reading end is held here) and says so, then writes; then the reader starts.
    int held = open(fifo.c_str(), O_RDONLY | O_NONBLOCK), opened[2], w = 0;
    if (!r.sent.empty()) {
      ASSERT_TRUE(held >= 0 && pipe(opened) == 0);
      if (fork() == 0) {
        const int fd = (alarm(20), open(fifo.c_str(), O_WRONLY));
        _exit(write(opened[1], "w", 1) + write(fd, r.sent.data(), r.sent.size()) == 1 + (ssize_t)r.sent.size() ? 0 : 1);
      }
      ASSERT_EQ(read(opened[0], &w, 1), 1);
      const ChildResult got = runInChild([&] { alarm(20), r.read(fifo); });
      EXPECT_TRUE(got.exitCode == 0 && got.out.find(r.shown) != std::string::npos) << r.who << got.out << got.err;
      wait(nullptr), close(opened[0]), close(opened[1]);
    }
    close(held);
    expectRefusal(runInChild([&] { r.read(folder); }), {folder + "'", "is a directory, not a regular file"});
    const ChildResult null = runInChild([&] { r.read("/dev/null"); });
    EXPECT_TRUE(null.exitCode == 1 && null.err.find("not a regular file") == std::string::npos) << null.err;
    expectRefusal(runInChild([&] { r.read(odd); }), {"'" + dir + "/?[31mred??\xc3\x9b'"});
  }
  for (const std::string& bad : {std::string("\x1b[31mred.pgm"), std::string("a.pgm\rb"), std::string("a\0b", 3)}) {
    const std::string f = file("list", "ok.pgm\n" + bad + "\nout/\n");
    expectRefusal(runInChild([&] { read_path(f, 5, lines); }),
                  {"List file '" + f + "': line 2 is not text: '", "' holds a control character at position "});
  }
  std::filesystem::remove_all(dir);  // the FIFO with it
}

// A run reads its list file from /dev/stdin fed by a pipe; lines 4 and 5, unused, may hold anything.
TEST_F(HostileInput, RunReadsItsListFileFromAPipe) {
  const std::string ex = std::string(VRM_SOURCE_DIR) + "/examples/particles_";
  const std::string list = ex + "t.pgm\n" + ex + "dt.pgm\n" + dir + "/out_\n\tnot used\n\x1b[31m\n";
  int p[2];
  ASSERT_TRUE(pipe(p) == 0 && write(p[1], list.data(), list.size()) == (ssize_t)list.size());
  close(p[1]);
  const int stdinKept = dup(0);
  dup2(p[0], 0), close(p[0]);
  const ChildResult r = runProgram(dir, {"-inPath", "/dev/stdin", "-pgm", "true", "-dx", "32", "-dy", "32",
                                         "-multiresol", "1", "-resolEnd", "3"});
  dup2(stdinKept, 0), close(stdinKept);
  EXPECT_TRUE(r.exited && r.exitCode == 0) << r.err;
  EXPECT_TRUE(read_pgm(dir + "/out_Im_t.pgm", 32, 32, 0, 0) == read_pgm(ex + "t.pgm", 32, 32, 0, 0));
}

// Palette images read as the image library's loader read them: the red component of each pixel's
// entry (16-bit palettes scaled to 8 bits, palettes below 256 taken as 8-bit ones); 2-bit ones refused.
TEST_F(HostileInput, PaletteTiffsGiveTheRedComponentOfTheirEntries) {
  for (const int bits : {8, 4, 1, 2, 0}) {  // 0: an 8-bit palette whose entries are below 256
    TiffLayout t;
    t.photometric = 3, t.bitsPerSample = bits ? bits : 8, t.pixels = bytes8(3 * ((4 * t.bitsPerSample + 7) / 8), 5);
    for (int c = 0; c < 3 << t.bitsPerSample; ++c) t.colormap.push_back((c * 7919 + 13) % (bits ? 65536 : 256));
    const std::string f = file("palette.tif", tiffBytes(t));
    if (bits == 2) {
      expectRefusal(runInChild([&] { read_tiff(f); }), {f, "only palette images of one 1-, 4- or 8-bit index"});
      continue;
    }
    const CImg<double> got = read_tiff(f), lib = CImg<double>().load_tiff(f.c_str(), 0, 0);
    EXPECT_TRUE(got == lib.get_channel(0) && got.max() > 0) << bits;
  }
}

TEST(HostileSizes, PaddingDoesNotWrapAround) {
  int w = 0, h = 0;
  expand_dim(131073, 2, 1, w, h);  // once 2: the quotient cut to 16 bits
  EXPECT_EQ(w, 131074);
  EXPECT_EQ(h, 2);
  expand_dim(65537, 32767, 7, w, h);
  EXPECT_TRUE(w == 65664 && h == 32768);
  expectRefusal(runInChild([] {
                  int a, b;
                  expand_dim(INT_MAX, 2, 1, a, b);
                }),
                {"Padding", "2147483647"});
}

}  // namespace
