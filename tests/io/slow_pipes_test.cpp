// Text inputs and outputs through slow pipes: a writer that sends each line of a list file, true
// motion table or multiplier file late, and a FIFO output whose reader waits before its first byte.
// The readers and writers wait for the other side: everything sent is read, everything written
// reaches the reader, whatever the delays.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/expect.h"

using namespace cimg_library;

namespace {

// The folder and the FIFOs in it are removed after each test.
class SlowPipes : public TempDirTest {
 protected:
  void TearDown() override { std::filesystem::remove_all(dir); }
};

// The slow side waits this long before its first byte: a reader or writer that does not wait for
// the other side finds the pipe empty (or full) and fails.
constexpr useconds_t kFirstByteDelay = 250000, kNextLineDelay = 50000;

bool writeAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w <= 0) return false;
    done += (size_t)w;
  }
  return true;
}

// Runs `read` in a child on the name of a pipe ("/dev/fd/<n>") whose writer sends `content` a line at
// a time, the first one late and each next one a little later.
ChildResult readFromSlowWriter(const std::string& content, const std::function<void(const std::string&)>& read) {
  int p[2];
  if (pipe(p) != 0) return {};
  const pid_t writer = fork();
  if (writer == 0) {
    close(p[0]);
    alarm(20);
    usleep(kFirstByteDelay);
    for (size_t start = 0; start < content.size();) {
      const size_t end = std::min(content.find('\n', start), content.size() - 1) + 1;
      if (!writeAll(p[1], content.substr(start, end - start))) _exit(1);
      start = end;
      usleep(kNextLineDelay);
    }
    _exit(0);
  }
  close(p[1]);
  const ChildResult r = runInChild([&] { alarm(20), read("/dev/fd/" + std::to_string(p[0])); });
  close(p[0]);
  if (writer > 0) waitpid(writer, nullptr, 0);
  return r;
}

TEST_F(SlowPipes, TextInputsWaitForALateWriter) {
  std::vector<std::string> lines = alloc_seqPath(5);
  CImg<double> lambda(3, 1, 1, 1, 0.0), cross(3, 1, 1, 1, 0.0);
  const struct {
    const char* who;
    std::string sent;
    std::function<void(const std::string&)> read;
    std::string printed;  // on standard output, after the pipe's name where the reader prints it
  } cases[] = {
      {"list file", "a.pgm\nb.pgm\nout/\ntrue.motion\nlambda.txt\n",
       [&](const std::string& f) {
         read_path(f, 5, lines);
         for (const std::string& l : lines) std::printf("%s|", l.c_str());
       },
       "a.pgm|b.pgm|out/|true.motion|lambda.txt|"},
      {"true motion table", "2 2\n#i\tj\tU\tV\n0\t0\t0.5\t-2\n0\t1\t1\t3\n1\t0\t-0.25\t4\n1\t1\t2\t5\n",
       [](const std::string& f) {
         const CImg<float> uv = read_aMotionFile(f, 2, 2, 2, 0, 0);
         for (float v : valuesOf(uv)) std::printf("%g ", v);
       },
       "\n0.5 1 -0.25 2 -2 3 4 5 "},
      {"multiplier file", "0.5 0.25\n\n2 3\n-1 1e3\n",
       [&](const std::string& f) { readLambdaInit(lambda, cross, f); }, "\n0.5 0.25\n2 3\n-1 1000\n"}};
  for (const auto& c : cases) {
    const ChildResult r = readFromSlowWriter(c.sent, c.read);
    EXPECT_TRUE(r.exited && r.exitCode == 0) << c.who << ": " << r.err;
    const size_t printed = r.out.size() >= c.printed.size() ? r.out.size() - c.printed.size() : 0;
    EXPECT_EQ(r.out.substr(printed), c.printed) << c.who << ": " << r.out;
  }
}

// A reader of the FIFO `fifo` that waits before its first byte, then copies everything it receives to
// the file `copy`. Returns once the reader holds the FIFO open (a writer may open it without waiting).
pid_t startSlowReader(const std::string& fifo, const std::string& copy) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t reader = fork();
  if (reader == 0) {
    close(ready[0]);
    alarm(30);
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0 || write(ready[1], "r", 1) != 1) _exit(1);
    usleep(kFirstByteDelay);
    // Until a writer has sent its first byte the FIFO reads as empty, or at its end when no writer has
    // opened it yet: the reader looks again (for 20 s at most), then reads to the end.
    std::string got;
    char buf[8192];
    for (int k = 0; got.empty() && k < 2000; ++k) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) got.append(buf, (size_t)n);
      else usleep(10000);
    }
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) _exit(1);
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) got.append(buf, (size_t)n);
    _exit(writeFileBytes(copy, got) ? 0 : 1);
  }
  close(ready[1]);
  char r = 0;
  if (reader > 0 && read(ready[0], &r, 1) != 1) waitpid(reader, nullptr, 0), reader = -1;
  close(ready[0]);
  return reader;
}

// Outputs larger than any pipe's buffer, written in place into a FIFO (a curve file through the
// buffered writer, a result line with one write): the writer waits while the pipe is full.
TEST_F(SlowPipes, FifoOutputsWaitForASlowReader) {
  CImg<double> curve(20000, 1, 1, 1), line(30000, 1, 1, 1);
  cimg_forX(curve, x) curve(x) = 1.0 / (x + 3);
  cimg_forX(line, x) line(x) = x * 1.0625;
  const struct {
    const char* who;
    std::function<void(const std::string&)> write;
  } cases[] = {{"curve", [&](const std::string& f) { write_S2(curve, f); }},
               {"result line", [&](const std::string& f) { writeLine(line, f); }}};
  const std::string fifo = dir + "/fifo", copy = dir + "/copy", plain = dir + "/plain";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& c : cases) {
    std::remove(copy.c_str()), std::remove(plain.c_str());
    c.write(plain);  // the bytes a plain file receives
    ASSERT_GT(readFileBytes(plain).size(), 1u << 17) << c.who;
    const pid_t reader = startSlowReader(fifo, copy);
    ASSERT_GT(reader, 0);
    const ChildResult r = runInChild([&] { alarm(20), c.write(fifo); });
    int status = -1;
    waitpid(reader, &status, 0);
    EXPECT_TRUE(r.exited && r.exitCode == 0) << c.who << ": " << r.out << r.err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.who;
    EXPECT_TRUE(readFileBytes(copy) == readFileBytes(plain)) << c.who << ": " << readFileBytes(copy).size()
                                                            << " bytes read of " << readFileBytes(plain).size();
  }
}

}  // namespace
