// Checks shared by the tests: refusals run in a child process, captured output, temporary folders,
// image values.
#pragma once

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"

// The run ended with exit status 1 after exactly one line on standard error containing every part.
inline void expectRefusal(const ChildResult& r, const std::vector<std::string>& parts) {
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  for (const std::string& p : parts) EXPECT_NE(r.err.find(p), std::string::npos) << p << " in: " << r.err;
  EXPECT_TRUE(std::count(r.err.begin(), r.err.end(), '\n') == 1 && r.err.back() == '\n') << "one line: " << r.err;
}

// The run ended with exit status 1 after printing exactly "Can't create <file> !" on standard output.
inline void expectCantCreate(const ChildResult& r, const std::string& file) {
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Can't create " + file + " !");
}

// What `body` prints on standard output.
inline std::string captureStdout(const std::function<void()>& body) {
  testing::internal::CaptureStdout();
  body();
  return testing::internal::GetCapturedStdout();
}

// A fresh temporary folder for each test, and hand-made files in it.
class TempDirTest : public ::testing::Test {
 protected:
  std::string dir = makeTempDir("test");
  std::string file(const std::string& name, const std::string& content) const {
    EXPECT_TRUE(writeFileBytes(dir + "/" + name, content));
    return dir + "/" + name;
  }
};

// Every value of an image (any pixel type), in memory order.
template <class Image>
std::vector<double> valuesOf(const Image& im) {
  return std::vector<double>(im.data(), im.data() + im.size());
}

// Same dimensions and the same values.
template <class A, class B>
bool sameImage(const A& a, const B& b) {
  return a.is_sameXYZC(b) && a == b;
}
