// Shared by the evidence tests: captured standard output, and a fixture under which every trace estimate
// starts from a fixed seed.
#pragma once

#include <gtest/gtest.h>

#include <CImg.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "evidence/evidence.h"
#include "primal/primal.h"
#include "sparse/sparse.h"
#include "support/sparse_systems.h"

// What f() writes on standard output.
template <class F>
std::string printed(F&& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

inline int lineCount(const std::string& s) { return (int)std::count(s.begin(), s.end(), '\n'); }

class EvidenceTest : public ::testing::Test {
 protected:
  void SetUp() override { fixTraceEstimatorSeed(-2024); }
  void TearDown() override { releaseTraceEstimatorSeed(); }
};
