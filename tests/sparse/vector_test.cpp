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

TEST(Vector, ConstructorsAndOwnership) {
  MV_Vector_double empty, zero(0);
  EXPECT_EQ(empty.size(), 0);
  EXPECT_EQ(zero.size(), 0);
  EXPECT_EQ(empty.ref(), 0);

  MV_Vector_double filled(5, 2.5);
  for (int i = 0; i < 5; i++) EXPECT_EQ(filled(i), 2.5);

  double raw[3] = {1, 2, 3};
  MV_Vector_double copied(raw, 3);
  raw[0] = 99;
  EXPECT_EQ(copied(0), 1.0);
  EXPECT_EQ(copied.ref(), 0);

  MV_Vector_int ints(4, 7);
  EXPECT_EQ(ints(3), 7);
  int rawi[2] = {5, 6};
  MV_Vector_int ci(rawi, 2);
  rawi[1] = 0;
  EXPECT_EQ(ci(1), 6);
}

TEST(Vector, CopyOfViewOwnsItsStorage) {
  MV_Vector_double owner = iota(4);
  MV_Vector_double copy(0);
  {
    MV_Vector_double view(owner.data(), 4, MV_Vector_::ref);
    EXPECT_EQ(view.ref(), 1);
    view(1) = 20;
    EXPECT_EQ(owner(1), 20);
    copy = view;
    MV_Vector_double deep(view);
    EXPECT_EQ(deep.ref(), 0);
    deep(0) = -1;
    EXPECT_EQ(owner(0), 1);
  }  // destroying the view releases nothing
  copy(2) = 100;
  EXPECT_EQ(owner(2), 3);
  EXPECT_EQ(owner(1), 20);
}

TEST(Vector, AssignmentKeepsOrReallocatesStorage) {
  MV_Vector_double a = iota(3), b = iota(3, 10), c = iota(5);
  const double* before = a.data();
  a = b;
  EXPECT_EQ(a.data(), before);
  EXPECT_EQ(a(2), 12);
  a = c;
  EXPECT_EQ(a.size(), 5);
  EXPECT_EQ(a(4), 5);
  a = 0.5;
  for (int i = 0; i < 5; i++) EXPECT_EQ(a(i), 0.5);
  a.newsize(5);
  EXPECT_EQ(a.size(), 5);
  EXPECT_EQ(a(0), 0.5);  // same length: contents stay
}

TEST(Vector, SlicesAndOverlappingAssignment) {
  MV_Vector_double v = iota(8);  // 1..8
  MV_Vector_double s = v(MV_VecIndex(2, 4));
  EXPECT_EQ(s.size(), 3);
  EXPECT_EQ(s(0), 3);
  EXPECT_EQ(v(MV_VecIndex()).size(), 8);

  // Target starting above the source in the same storage: the source's old values.
  MV_Vector_double src = v(MV_VecIndex(0, 4)), dst = v(MV_VecIndex(2, 6));
  dst = src;
  const double up[8] = {1, 2, 1, 2, 3, 4, 5, 8};
  for (int i = 0; i < 8; i++) EXPECT_EQ(v(i), up[i]) << i;

  // Target starting below the source: also the source's old values.
  MV_Vector_double w = iota(8);
  MV_Vector_double hi = w(MV_VecIndex(2, 6)), lo = w(MV_VecIndex(0, 4));
  lo = hi;
  const double down[8] = {3, 4, 5, 6, 7, 6, 7, 8};
  for (int i = 0; i < 8; i++) EXPECT_EQ(w(i), down[i]) << i;

  // An owner assigned a view of its own storage, of another length and of the same length.
  MV_Vector_double o = iota(6);
  o = o(MV_VecIndex(3, 5));
  ASSERT_EQ(o.size(), 3);
  EXPECT_EQ(o(0), 4);
  EXPECT_EQ(o(2), 6);
  MV_Vector_double same = iota(4);
  same = same();
  EXPECT_EQ(same(3), 4);
}

TEST(Vector, ArithmeticDotNorm) {
  MV_Vector_double x = iota(3), y = iota(3, 4);  // 1 2 3 and 4 5 6
  MV_Vector_double s = x + y, d = y - x, m = 2.0 * x, m2 = x * 3.0;
  EXPECT_EQ(s(2), 9);
  EXPECT_EQ(d(0), 3);
  EXPECT_EQ(m(1), 4);
  EXPECT_EQ(m2(2), 9);
  x += y;
  EXPECT_EQ(x(0), 5);
  x -= y;
  EXPECT_EQ(x(0), 1);
  x *= -1.0;
  EXPECT_EQ(x(1), -2);
  EXPECT_EQ(dot(iota(3), y), 32.0);
  EXPECT_EQ(norm(y), std::sqrt(77.0));
  MV_Vector_double e1, e2(0);
  EXPECT_EQ(dot(e1, e2), 0.0);
  EXPECT_EQ(norm(e1), 0.0);
  // Sequential accumulation from 0.0: 1e16 + 1 + -1e16 is 0 in that order.
  double a[3] = {1e16, 1, -1e16}, one[3] = {1, 1, 1};
  EXPECT_EQ(dot(MV_Vector_double(a, 3), MV_Vector_double(one, 3)), 0.0);
}

TEST(Vector, StreamOutput) {
  std::ostringstream os;
  os << iota(2, 0.5);
  EXPECT_EQ(os.str(), "0.5\n1.5\n");
  std::ostringstream oi;
  oi << MV_Vector_int(2, 3);
  EXPECT_EQ(oi.str(), "3\n3\n");
}

TEST(VectorMisuse, MessagesAndExitStatus) {
  struct Case {
    void (*body)();
    const char* out;
    const char* err;
  };
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
      {[] { MV_Vector_double x = iota(4); (void)x(MV_VecIndex(1, 4)); }, "",
       "MV_VecIndex: (1:4) too big for matrix (0:3) \n"},
      {[] { MV_Vector_int x(4, 0); (void)x(MV_VecIndex(2, 7)); }, "",
       "MV_VecIndex: (2:7) too big for matrix (0:3) \n"},
      {[] { MV_Vector_double x = iota(4); (void)x(MV_VecIndex(-1, 2)); }, "",
       "MV_VecIndex: (-1:2) too big for matrix (0:3) \n"},
      {[] { MV_Vector_double x(-1); }, "",
       "Error: NULL pointer in MV_Vector_double(int) constructor \n       Most likely out of memory... \n"},
      {[] { MV_Vector_double x(-1, 0.0); }, "",
       "Error: NULL pointer in MV_Vector_double(int) constructor \n       Most likely out of memory... \n"},
      {[] { double d[1] = {0}; MV_Vector_double x(d, -1); }, "",
       "Error: Null pointer in MV_Vector_double(double*, int) \n"},
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
  EXPECT_EQ(x(2), 3);
  EXPECT_EQ(x[2], 3);
  EXPECT_DEATH((void)x(3), "i < dim_");
  EXPECT_DEATH((void)x(-1), "i < dim_");
  MV_Vector_int k(2, 0);
  EXPECT_DEATH((void)k[2], "i < dim_");
  const MV_Vector_double& cx = x;
  EXPECT_DEATH((void)cx(7), "i < dim_");
}

}  // namespace
