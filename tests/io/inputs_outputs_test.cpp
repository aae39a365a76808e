// Inputs and plain outputs: binary PGM, TIFF, padding, windows, border masks, list file, multiplier
// file, curves, result lines and output names.
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/expect.h"

using namespace cimg_library;

namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back((char)(unsigned char)v);
  return s;
}

using Images = TempDirTest;
using TextFiles = TempDirTest;

TEST_F(Images, ReadPgmWindowsCommentsRasterBytesAndTenBits) {
  const std::string f = file("a.pgm", "P5\n3 2\n255\n" + bytes({1, 2, 3, 4, 5, 255}));
  const CImg<short> all = read_pgm(f, 3, 2, 0, 0), win = read_pgm(f, 2, 1, 1, 1);
  ASSERT_TRUE(all.is_sameXY(3, 2) && win.is_sameXY(2, 1));
  EXPECT_EQ(valuesOf(all), (std::vector<double>{1, 2, 3, 4, 5, 255}));
  EXPECT_EQ(valuesOf(win), (std::vector<double>{5, 255}));
  // Comment lines are skipped; raster bytes 10 and 32 are data.
  const std::string raster = bytes({10, 32, 7, 10});
  const CImg<short> plain = read_pgm(file("p.pgm", "P5\n2 2\n255\n" + raster), 2, 2, 0, 0);
  EXPECT_EQ(valuesOf(plain), (std::vector<double>{10, 32, 7, 10}));
  EXPECT_TRUE(plain == read_pgm(file("c.pgm", "P5\n# first\n# second comment\n2 2\n255\n" + raster), 2, 2, 0, 0));
  // Maxval 1023: two bytes per sample, least significant first.
  const std::string ten = file("ten.pgm", "P5\n3 1\n1023\n" + bytes({0xFF, 0x03, 0x00, 0x01, 0x0A, 0x00}));
  EXPECT_EQ(valuesOf(read_pgm(ten, 3, 1, 0, 0)), (std::vector<double>{1023, 256, 10}));
}

TEST_F(Images, UnreadablePgmIsRefused) {
  const std::string nine = file("nine.pgm", "P5\n2 1\n511\n" + bytes({1, 2, 3, 4}));
  const ChildResult r = runInChild([&] { read_pgm(nine, 2, 1, 0, 0); });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Can't read images " + nine + " Kestrum problem def=511 (255 ou 1023)!");
  const std::string shortRaster = file("short.pgm", "P5\n4 4\n255\n" + bytes({1, 2, 3}));
  const std::string ok = file("ok.pgm", "P5\n4 4\n255\n" + std::string(16, 'a')), noHeader = file("e.pgm", "P5\n");
  const struct { std::string file; int dx, dy, ofx, ofy; const char* problem; } cases[] = {
      {dir + "/missing.pgm", 2, 2, 0, 0, "cannot be opened"}, {shortRaster, 2, 2, 0, 0, "truncated"},
      {ok, 4, 4, 1, 0, "does not lie inside"}, {ok, 2, 2, 0, 3, "does not lie inside"},
      {ok, 2, 2, -1, 0, "does not lie inside"}, {noHeader, 2, 2, 0, 0, "header"}};
  for (const auto& c : cases)
    expectRefusal(runInChild([&] { read_pgm(c.file, c.dx, c.dy, c.ofx, c.ofy); }), {c.file, c.problem});
}

// A tiny file whose header announces 32767 x 32767 ten-bit samples is refused as truncated before any
// memory is reserved for that raster (a 1 GiB address-space limit makes a 2 GiB reservation fail);
// sizes beyond 16 bits are refused.
TEST_F(Images, HugeAnnouncedRastersAndSizesAreRefused) {
  const std::string huge = file("huge.pgm", "P5\n32767 32767\n1023\n" + bytes({1, 2, 3}));
  expectRefusal(runInChild([&] {
#if !defined(__SANITIZE_ADDRESS__)
                  const rlimit limit{1L << 30, 1L << 30};
                  setrlimit(RLIMIT_AS, &limit);
#endif
                  read_pgm(huge, 4, 4, 0, 0);
                }),
                {huge, "truncated"});
  // A width beyond 16 bits is refused, not cut to 70000 - 65536 = 4464 columns.
  const std::string wide = file("wide.pgm", "P5\n70000 1\n255\n" + std::string(70000, 'a'));
  expectRefusal(runInChild([&] { read_pgm(wide, 2, 1, 0, 0); }), {wide, "70000 x 1", "between 1 and 32767"});
}

TEST_F(Images, WritePgm255RoundsClampsAndGuards) {
  const std::string head = "P5\n4 1\n255\n";
  CImg<double> im(4, 1, 1, 1);
  im(0) = 300, im(1) = 127.4, im(2) = 127.5, im(3) = -4;
  write_pgm255(im, dir + "/w.pgm", 0, 255);
  EXPECT_EQ(readFileBytes(dir + "/w.pgm"), head + bytes({255, 127, 128, 0}));
  // Range [0, 1]: 0.5 gives 128; only the first slice is written.
  CImg<double> field(2, 1, 2, 1, 0.0);
  field(0, 0, 0) = 0.5, field(1, 0, 0) = 1.0;
  write_pgm255(field, dir + "/u.pgm", 0, 1);
  EXPECT_EQ(readFileBytes(dir + "/u.pgm"), "P5\n2 1\n255\n" + bytes({128, 255}));
  // Max equal to min, or a NaN sample: 0.
  im(1) = std::numeric_limits<double>::quiet_NaN(), im(0) = 5;
  write_pgm255(im, dir + "/flat.pgm", 5, 5);
  EXPECT_EQ(readFileBytes(dir + "/flat.pgm"), head + bytes({0, 0, 0, 0}));
  write_pgm255(im, dir + "/nan.pgm", 0, 255);
  EXPECT_EQ(readFileBytes(dir + "/nan.pgm"), head + bytes({5, 0, 128, 0}));
  const std::string bad = dir + "/no/such/dir/x.pgm";
  expectCantCreate(runInChild([&] { write_pgm255(CImg<double>(2, 2, 1, 1, 0.0), bad, 0, 255); }), bad);
  // Round trip through read_pgm.
  const CImg<double> grey = CImg<double>(17, 9).rand(0, 255).round();
  write_pgm255(grey, dir + "/rt.pgm", 0, 255);
  EXPECT_TRUE(CImg<double>(read_pgm(dir + "/rt.pgm", 17, 9, 0, 0)) == grey);
}

TEST_F(Images, TiffTakesFirstSliceAndChannelOrIsRefused) {
  CImg<float> im(4, 3, 2, 2);
  cimg_forXYZC(im, x, y, z, c) im(x, y, z, c) = 0.5f + x + 10 * y + 100 * z + 1000 * c;
  im.save_tiff((dir + "/multi.tif").c_str());
  const CImg<double> back = read_tiff(dir + "/multi.tif");
  ASSERT_TRUE(back.is_sameXYZC(4, 3, 1, 1));
  cimg_forXY(back, x, y) EXPECT_EQ(back(x, y), 0.5 + x + 10 * y);
  for (const std::string& f : {dir + "/none.tif", file("junk.tif", "not a tiff at all")})
    expectRefusal(runInChild([&] { read_tiff(f); }), {f, "cannot be read"});
}

TEST(Padding, SizesAndZeroFilledSlices) {
  const int cases[][6] = {{100, 96, 3, 104, 96}, {100, 1, 0, 100, 1}, {127, 128, 1, 128, 128}, {5, 7, 7, 128, 128}};
  for (const auto& c : cases) {
    int w = 0, h = 0;
    expand_dim(c[0], c[1], c[2], w, h);
    EXPECT_EQ(w, c[3]) << c[0] << " " << c[2];
    EXPECT_EQ(h, c[4]) << c[1] << " " << c[2];
  }
  CImg<double> field(3, 2, 2, 1);
  cimg_forXYZ(field, x, y, z) field(x, y, z) = 1 + x + 10 * y + 100 * z;
  const CImg<double> out = expand(field, 2);
  EXPECT_TRUE(out.is_sameXYZC(4, 4, 2, 1) && out == field.get_crop(0, 0, 0, 3, 3, 1, 0));  // zeros outside
}

TEST(Window, CropWindowChecksTheImageBounds) {
  CImg<double> im(5, 4, 1, 1);
  cimg_forXY(im, x, y) im(x, y) = x + 10 * y;
  const CImg<double> w = cropWindow(im, 1, 2, 3, 2, "test");
  EXPECT_EQ(valuesOf(w), (std::vector<double>{21, 22, 23, 31, 32, 33}));
  EXPECT_TRUE(w.is_sameXY(3, 2));
  expectRefusal(runInChild([&] { cropWindow(im, 3, 0, 3, 2, "image 'a.tif'"); }), {"image 'a.tif'", "not lie inside"});
  expectRefusal(runInChild([&] { cropWindow(im, 0, 3, 1, 2, "image 'a.tif'"); }), {"image 'a.tif'", "not lie inside"});
}

TEST(BorderMasks, ZeroBandInPlaneZeroAndPaddingRegion) {
  CImg<double> a(8, 5, 2, 1, 1.0);
  setZeroBorder(a, 0, 0);
  EXPECT_EQ(a.sum(), 80.0);
  setZeroBorder(a, 2, 1);
  cimg_forXY(a, x, y) {
    EXPECT_EQ(a(x, y, 0), (x < 2 || x >= 6 || y < 1 || y >= 4) ? 0.0 : 1.0) << x << "," << y;
    EXPECT_EQ(a(x, y, 1), 1.0);
  }
  CImg<double> b(8, 6, 1, 1, 1.0);
  setZeroBorderOnExpandedRegion(b, 8, 6);
  EXPECT_EQ(b.sum(), 48.0);
  setZeroBorderOnExpandedRegion(b, 5, 4);
  cimg_forXY(b, x, y) EXPECT_EQ(b(x, y), (x < 5 && y < 4) ? 1.0 : 0.0);
}

TEST_F(TextFiles, ListFileIsReadWholeOrRefused) {
  const std::string longLine(700, 'x');
  std::vector<std::string> lines = alloc_seqPath(5);
  read_path(file("full", "a.pgm\nb.pgm\nout/\ntrue.motion\nlambda.txt\n"), 5, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a.pgm", "b.pgm", "out/", "true.motion", "lambda.txt"}));
  lines = alloc_seqPath(5);
  read_path(file("three", "a.pgm\n" + longLine + "\nout/"), 5, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a.pgm", longLine, "out/", "", ""}));  // missing lines 4, 5: empty
  const std::string missing = dir + "/missing", two = file("two", "a.pgm\nb.pgm\n");
  expectRefusal(runInChild([&] { read_path(missing, 5, lines); }), {missing, "cannot be opened"});
  expectRefusal(runInChild([&] { read_path(two, 5, lines); }), {two, "at least three"});
}

TEST_F(TextFiles, MultiplierFileFillsBothVectorsOrIsRefused) {
  const std::string f = file("lambda", "0.5 0.25\n2 3\n0.1 1e3\n");
  CImg<double> lambda(3, 1, 1, 1, 0.0), cross(3, 1, 1, 1, 0.0);
  const ChildResult r = runInChild([&] {
    readLambdaInit(lambda, cross, f);
    std::printf("%.17g %.17g %.17g %.17g\n", lambda(0), cross(0), lambda(2), cross(2));
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, f + "\n0.5 0.25\n2 3\n0.1 1000\n0.5 0.25 0.10000000149011612 1000\n");
  const std::string shortFile = file("short", "1 1\n2 2\n"), missing = dir + "/none";
  expectRefusal(runInChild([&] { readLambdaInit(lambda, cross, shortFile); }), {shortFile, "line 3"});
  expectRefusal(runInChild([&] { readLambdaInit(lambda, cross, missing); }), {missing, "cannot be opened"});
  expectRefusal(runInChild([&] { readLambdaInit(lambda, cross, ""); }), {"Multiplier file", "no file"});
}

TEST_F(TextFiles, CurvesResultLinesAndNames) {
  const std::string curve = dir + "/curve", line = dir + "/evidence_resol0";
  CImg<double> s2(4, 1, 1, 1);
  s2(0) = 0, s2(1) = 1.5, s2(2) = -2.25e-7, s2(3) = 12345.678;
  write_S2(s2, curve);
  EXPECT_EQ(readFileBytes(curve), "0 0.000000e+00\n1 1.500000e+00\n2 -2.250000e-07\n3 1.234568e+04\n");
  write_S2(CImg<double>(1, 1, 1, 1, 3.0), curve);  // the file is replaced
  EXPECT_EQ(readFileBytes(curve), "0 3.000000e+00\n");
  CImg<double> save(20, 1, 1, 1, 0.0);
  save(0) = 1.23456789, save(1) = -2, save(2) = 1e-12, save(19) = 123456789.0;
  for (int i = 0; i < 3; ++i) writeLine(save, line);  // appended
  std::string expected = "1.23457\t-2\t1e-12";
  for (int i = 3; i < 19; ++i) expected += "\t0";
  expected += "\t1.23457e+08\n";
  EXPECT_EQ(readFileBytes(line), expected + expected + expected);
  const std::string bad = dir + "/missing/evidence_resol0";
  expectCantCreate(runInChild([&] { writeLine(save, bad); }), bad);
  expectCantCreate(runInChild([&] { write_S2(s2, bad); }), bad);
  expectCantCreate(runInChild([&] { write_S2(s2, dir); }), dir);  // a folder, not replaced
  // Output names have no length limit.
  const std::string prefix(300, 'p');
  EXPECT_EQ(formatFileName("%sIm_t.pgm", prefix.c_str()), prefix + "Im_t.pgm");
  EXPECT_EQ(formatFileName("%sUV_Gamma%eZeta%e.motion", "out/", 0.01, 1.0),
            "out/UV_Gamma1.000000e-02Zeta1.000000e+00.motion");
  EXPECT_EQ(formatFileName("%sevidence_resol%d", "o_", 2), "o_evidence_resol2");
}

// A whole output keeps the permissions of the file it replaces and a symbolic link under its name,
// writes a device in place, and so a file that may be written in a folder that takes no new file.
TEST_F(TextFiles, OutputsKeepLinksPermissionsDevicesAndLockedFolders) {
  namespace fs = std::filesystem;
  using P = fs::perms;
  ASSERT_TRUE(fs::create_directory(dir + "/store") && fs::create_directory(dir + "/locked"));
  file("store/kept", "old\n"), file("locked/out", "old\n");
  fs::create_symlink("store/kept", dir + "/link"), fs::create_symlink("/dev/null", dir + "/null");
  fs::permissions(dir + "/store/kept", P::owner_read | P::owner_write);
  const bool root = getuid() == 0;  // only root may give a file away: then it keeps its owner and group
  ASSERT_TRUE(!root || chown((dir + "/store/kept").c_str(), 4242, 4343) == 0);
  fs::permissions(dir, P::owner_all | P::others_exec), fs::permissions(dir + "/locked/out", P::all);
  fs::permissions(dir + "/locked", P::owner_read | P::owner_exec | P::others_exec);
  for (const std::string name : {"/link", "/null", "/locked/out"}) {
    const ChildResult r = runInChild([&] {  // root, who may write any folder, writes the locked one as nobody
      if (name == "/locked/out" && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
      write_S2(CImg<double>(1, 1, 1, 1, 0.5), dir + name);
    });
    EXPECT_TRUE(r.exited && r.exitCode == 0) << name << ": " << r.out << r.err;
  }
  EXPECT_TRUE(fs::is_symlink(dir + "/link") && fs::is_symlink(dir + "/null"));
  EXPECT_EQ(readFileBytes(dir + "/store/kept") + readFileBytes(dir + "/locked/out"), "0 5.000000e-01\n0 5.000000e-01\n");
  EXPECT_EQ(fs::status(dir + "/store/kept").permissions(), P::owner_read | P::owner_write);
  struct stat kept {};
  ASSERT_EQ(stat((dir + "/store/kept").c_str(), &kept), 0);
  EXPECT_TRUE(!root || (kept.st_uid == 4242 && kept.st_gid == 4343)) << kept.st_uid << ":" << kept.st_gid;
  fs::permissions(dir + "/locked", P::owner_all);
}

// A process that may not give a replaced output to its owner still keeps the file's group when it
// belongs to that group, and else writes the output with its own group. Run as root, the test
// replaces a file of another owner as a third user, member or not of the file's group.
TEST_F(TextFiles, ReplacedOutputKeepsItsGroupWhenItsOwnerCannotBeKept) {
  namespace fs = std::filesystem;
  const uid_t owner = 4242, writer = 4545;
  const gid_t group = 4343, writersGroup = 4646;
  const auto becomeWriter = [&](bool member) {
    const gid_t groups[1] = {group};
    return setgroups(member ? 1 : 0, groups) == 0 && setgid(writersGroup) == 0 && setuid(writer) == 0;
  };
  if (getuid() != 0 || runInChild([&] { _exit(becomeWriter(true) ? 0 : 3); }).exitCode != 0)
    GTEST_SKIP() << "needs root, to write as another user (member or not of its group) a file of a third owner";
  fs::permissions(dir, fs::perms::owner_all | fs::perms::others_exec);
  ASSERT_TRUE(fs::create_directory(dir + "/shared"));
  fs::permissions(dir + "/shared", fs::perms::all);
  const struct { bool member; mode_t mode; gid_t kept; } cases[] = {{true, 0660, group}, {false, 0646, writersGroup}};
  for (const auto& c : cases) {
    const std::string out = file("shared/out", "old\n");
    ASSERT_TRUE(chown(out.c_str(), owner, group) == 0 && chmod(out.c_str(), c.mode) == 0);
    const ChildResult r = runInChild([&] {
      if (!becomeWriter(c.member)) _exit(3);
      write_S2(CImg<double>(1, 1, 1, 1, 0.5), out);
    });
    EXPECT_TRUE(r.exited && r.exitCode == 0) << c.member << ": " << r.out << r.err;
    struct stat st {};
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, writer) << c.member;
    EXPECT_EQ(st.st_gid, c.kept) << c.member;
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.member;
    EXPECT_EQ(readFileBytes(out), "0 5.000000e-01\n") << c.member;
  }
  fs::remove_all(dir);
}

// An output that is a FIFO is written to the process reading it; with none, the writer ends the run
// naming the file instead of waiting in open for ever.
TEST_F(TextFiles, FifoOutputsNeedAReader) {
  const std::string fifo = dir + "/fifo", plain = dir + "/plain";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const auto write : {+[](const std::string& f) { write_S2(CImg<double>(2, 1, 1, 1, 0.5), f); },
                           +[](const std::string& f) { writeLine(CImg<double>(3, 1, 1, 1, 2.0), f); }}) {
    expectRefusal(runInChild([&] { alarm(20), write(fifo); }),  // a hang ends as a signal
                  {"Output '" + fifo + "': could not be written (a FIFO (named pipe) that no process is reading)"});
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(runInChild([&] { alarm(20), write(fifo); }).exitCode, 0);
    char got[256];
    const ssize_t n = read(reader, got, sizeof got);
    close(reader);
    std::remove(plain.c_str()), write(plain);  // the bytes a plain file receives
    EXPECT_EQ(std::string(got, n > 0 ? n : 0), readFileBytes(plain));
  }
  std::filesystem::remove_all(dir);  // the FIFO with it
}

}  // namespace
