// Dense vectors: ownership, views, slices, assignment rules, arithmetic and misuse messages.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/child_process.h"
#include "sparse/sparse.h"

namespace {

MV_Vector_double iota(int n, double start = 1.0) {
  MV_Vector_double v(n);
  for (int i = 0; i < n; i++) v(i) = start + i;
  return v;
}

void expectValues(const MV_Vector_double& v, std::initializer_list<double> want) {
  ASSERT_EQ(v.size(), static_cast<int>(want.size()));
  int i = 0;
  for (double w : want) EXPECT_EQ(v(i++), w) << "element " << i - 1;
}

TEST(Vector, OwnershipViewsAndAssignment) {
  MV_Vector_double empty, zero(0);
  EXPECT_EQ(empty.size() + zero.size() + empty.ref(), 0);
  expectValues(MV_Vector_double(3, 2.5), {2.5, 2.5, 2.5});
  // Raw arrays are copied.
  double raw[3] = {1, 2, 3};
  int rawi[2] = {5, 6};
  MV_Vector_double copied(raw, 3);
  MV_Vector_int ci(rawi, 2);
  raw[0] = 99;
  rawi[1] = 0;
  EXPECT_EQ(copied(0), 1.0);
  EXPECT_EQ(copied.ref(), 0);
  EXPECT_EQ(ci(1), 6);
  EXPECT_EQ(MV_Vector_int(4, 7)(3), 7);

  // A view writes through to its owner; a copy of a view owns its storage; destroying a view frees nothing.
  MV_Vector_double owner = iota(4), copy(0);
  {
    MV_Vector_double view(owner.data(), 4, MV_Vector_::ref);
    EXPECT_EQ(view.ref(), 1);
    view(1) = 20;
    copy = view;
    MV_Vector_double deep(view);
    EXPECT_EQ(deep.ref(), 0);
    deep(0) = -1;
  }
  copy(2) = 100;
  expectValues(owner, {1, 20, 3, 4});

  // Assignment keeps the storage for equal lengths, reallocates otherwise; newsize keeps equal lengths.
  MV_Vector_double a = iota(3);
  const double* before = a.data();
  a = iota(3, 10);
  EXPECT_EQ(a.data(), before);
  expectValues(a, {10, 11, 12});
  a = iota(5);
  EXPECT_EQ(a.size(), 5);
  a = 0.5;
  a.newsize(5);
  expectValues(a, {0.5, 0.5, 0.5, 0.5, 0.5});
}

TEST(Vector, SlicesAndOverlappingAssignment) {
  MV_Vector_double v = iota(8);  // 1..8
  expectValues(v(MV_VecIndex(2, 4)), {3, 4, 5});
  EXPECT_EQ(v(MV_VecIndex()).size(), 8);
  // Overlapping views, target above or below the source: the source's old values either way.
  MV_Vector_double src = v(MV_VecIndex(0, 4)), dst = v(MV_VecIndex(2, 6));
  dst = src;
  expectValues(v, {1, 2, 1, 2, 3, 4, 5, 8});
  MV_Vector_double w = iota(8);
  MV_Vector_double hi = w(MV_VecIndex(2, 6)), lo = w(MV_VecIndex(0, 4));
  lo = hi;
  expectValues(w, {3, 4, 5, 6, 7, 6, 7, 8});
  // An owner assigned a view of its own storage, of another length and of the same length.
  MV_Vector_double o = iota(6);
  o = o(MV_VecIndex(3, 5));
  expectValues(o, {4, 5, 6});
  MV_Vector_double same = iota(4);
  same = same();
  expectValues(same, {1, 2, 3, 4});
}

TEST(Vector, ArithmeticDotNormAndOutput) {
  const MV_Vector_double x = iota(3), y = iota(3, 4);  // 1 2 3 and 4 5 6
  expectValues(x + y, {5, 7, 9});
  expectValues(y - x, {3, 3, 3});
  expectValues(2.0 * x, {2, 4, 6});
  expectValues(x * 3.0, {3, 6, 9});
  MV_Vector_double z = iota(3);
  z += y;
  z -= iota(3, 1);
  z *= -1.0;
  expectValues(z, {-4, -5, -6});
  EXPECT_EQ(dot(x, y), 32.0);
  EXPECT_EQ(norm(y), std::sqrt(77.0));
  EXPECT_EQ(dot(MV_Vector_double(), MV_Vector_double(0)), 0.0);
  EXPECT_EQ(norm(MV_Vector_double()), 0.0);
  // Sequential accumulation from 0.0: 1e16 + 1 + -1e16 is 0 in that order.
  double a[3] = {1e16, 1, -1e16}, one[3] = {1, 1, 1};
  EXPECT_EQ(dot(MV_Vector_double(a, 3), MV_Vector_double(one, 3)), 0.0);
  std::ostringstream os;
  os << iota(2, 0.5) << MV_Vector_int(2, 3);
  EXPECT_EQ(os.str(), "0.5\n1.5\n3\n3\n");
}

TEST(VectorMisuse, MessagesAndExitStatus) {
  struct Case {
    void (*body)();
    const char* out;
    const char* err;
  };
  const char* kNoMemory = "Error: NULL pointer in MV_Vector_double(int) constructor \n       Most likely out of memory... \n";
  const Case cases[] = {
      {[] { (void)(iota(3) + iota(4)); }, "Incompatible vector lengths in +.\n", ""},
      {[] { (void)(iota(3) - iota(4)); }, "Incompatible vector lengths in -.\n", ""},
      {[] { MV_Vector_double x = iota(3); x += iota(4); }, "Incompatible vector lengths in -.\n", ""},
      {[] { MV_Vector_double x = iota(3); x -= iota(4); }, "Incompatible vector lengths in -.\n", ""},
      {[] { (void)dot(iota(3), iota(4)); }, "Incompatible dimensions in dot(). \n", ""},
      {[] { MV_Vector_double x = iota(4); MV_Vector_double v = x(); v.newsize(2); }, "",
       "MV_Vector::newsize can't operator on references.\n"},
      {[] { MV_Vector_double x = iota(4); MV_Vector_double v = x(MV_VecIndex(0, 1)); v = iota(3); }, "",
       "MV_VectorRef::operator=  non-conformant assignment.\n"},
      {[] { (void)iota(4)(MV_VecIndex(1, 4)); }, "", "MV_VecIndex: (1:4) too big for matrix (0:3) \n"},
      {[] { (void)MV_Vector_int(4, 0)(MV_VecIndex(2, 7)); }, "", "MV_VecIndex: (2:7) too big for matrix (0:3) \n"},
      {[] { (void)iota(4)(MV_VecIndex(-1, 2)); }, "", "MV_VecIndex: (-1:2) too big for matrix (0:3) \n"},
      {[] { MV_Vector_double x(-1); }, "", kNoMemory},
      {[] { MV_Vector_double x(-1, 0.0); }, "", kNoMemory},
      {[] { double d[1] = {0}; MV_Vector_double x(d, -1); }, "", "Error: Null pointer in MV_Vector_double(double*, int) \n"},
      {[] { int d[1] = {0}; MV_Vector_int x(d, -1); }, "", "Error: Null pointer in MV_Vector_int(int*, int) \n"},
  };
  for (const Case& c : cases) {
    ChildResult r = runInChild(c.body);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 1) << c.out << c.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(VectorMisuse, ElementIndexIsCheckedInEveryBuild) {
  MV_Vector_double x = iota(3);
  const MV_Vector_double& cx = x;
  EXPECT_EQ(x(2) + x[2], 6);
  EXPECT_DEATH((void)x(3), "i < dim_");
  EXPECT_DEATH((void)x(-1), "i < dim_");
  EXPECT_DEATH((void)MV_Vector_int(2, 0)[2], "i < dim_");
  EXPECT_DEATH((void)cx(7), "i < dim_");
}

}  // namespace
