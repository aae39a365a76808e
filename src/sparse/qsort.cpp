// Quicksort (median of three, explicit stack, partitions of at most five elements left to a final
// insertion pass) of an index range of a vector; the paired form moves values with their keys.

#include "sparse/qsort.h"

namespace {

const int kMaxThresh = 4;

struct stack_node {
  int lo;
  int hi;
};

template <class T>
inline void exchange_values(T& a, T& b) {
  T tmp = a;
  a = b;
  b = tmp;
}

// Keys alone (double vector) or keys with values carried along; the storage is either the vector
// itself (checked access) or a plain pointer to its elements, for ranges known to lie inside the
// vectors (every index that the sort touches lies in the range).
template <class DoubleStore>
struct SingleKeys {
  DoubleStore v;
  using Key = double;
  void exchange(int a, int b) { exchange_values(v[a], v[b]); }
  Key key(int i) const { return v[i]; }
  void move(int from, int to) { v[to] = v[from]; }
  struct Saved {
    double k;
  };
  Saved save(int i) const { return {v[i]}; }
  void restore(int i, const Saved& s) { v[i] = s.k; }
};

// Int keys with values of type Value carried along (the order in which keys move depends on the keys
// alone, so every kind of value undergoes the same permutation).
template <class IntStore, class ValueStore, class Value>
struct PairedKeys {
  IntStore v;
  ValueStore x;
  using Key = int;
  void exchange(int a, int b) {
    exchange_values(v[a], v[b]);
    exchange_values(x[a], x[b]);
  }
  Key key(int i) const { return v[i]; }
  void move(int from, int to) {
    v[to] = v[from];
    x[to] = x[from];
  }
  struct Saved {
    int k;
    Value val;
  };
  Saved save(int i) const { return {v[i], x[i]}; }
  void restore(int i, const Saved& s) {
    v[i] = s.k;
    x[i] = s.val;
  }
};

bool range_inside(int base_ptr, int total_elems, int size) {
  return base_ptr >= 0 && total_elems <= size - base_ptr;
}

template <class Keys>
int quicksort(Keys s, int base_ptr, int total_elems) {
  using Key = typename Keys::Key;
  // Keys already strictly ascending: the sorted order is the present one (no equal keys whose values
  // could be exchanged), so nothing moves.
  {
    int run = base_ptr + 1;
    const int end = base_ptr + total_elems;
    while (run < end && s.key(run - 1) < s.key(run)) run++;
    if (run >= end) return 1;
  }
  if (total_elems > kMaxThresh) {
    int lo = base_ptr;
    int hi = base_ptr + total_elems - 1;
    stack_node stack[64];
    int top = 0;
    stack[top].lo = 0;  // placeholder: popping it ends the loop
    stack[top].hi = 0;
    top++;
    while (top > 0) {
      const int mid = lo + (hi - lo) / 2;
      if (s.key(mid) < s.key(lo)) s.exchange(mid, lo);
      if (s.key(hi) < s.key(mid)) {
        s.exchange(mid, hi);
        if (s.key(mid) < s.key(lo)) s.exchange(mid, lo);
      }
      const Key pivot = s.key(mid);
      int left = lo + 1;
      int right = hi - 1;
      do {
        while (s.key(left) < pivot) left++;
        while (pivot < s.key(right)) right--;
        if (left < right) {
          s.exchange(left, right);
          left++;
          right--;
        } else if (left == right) {
          left++;
          right--;
          break;
        }
      } while (left <= right);

      const int L = right - lo;
      const int R = hi - left;
      if (L <= kMaxThresh) {
        if (R <= kMaxThresh) {
          top--;
          lo = stack[top].lo;
          hi = stack[top].hi;
        } else {
          lo = left;
        }
      } else if (R <= kMaxThresh) {
        hi = right;
      } else if (L > R) {
        stack[top].lo = lo;
        stack[top].hi = right;
        top++;
        lo = left;
      } else {
        stack[top].lo = left;
        stack[top].hi = hi;
        top++;
        hi = right;
      }
    }
  }

  // Insertion pass over the whole range; the smallest of the first five keys goes to the front first.
  const int end = base_ptr + total_elems - 1;
  const int thresh = end < base_ptr + kMaxThresh ? end : base_ptr + kMaxThresh;
  int tmp = base_ptr;
  for (int run = base_ptr + 1; run <= thresh; run++)
    if (s.key(run) < s.key(tmp)) tmp = run;
  if (tmp != base_ptr) s.exchange(tmp, base_ptr);

  for (int run = base_ptr + 2; run <= end; run++) {
    tmp = run - 1;
    // The key at base_ptr is the smallest, so the scan stops there; the bound keeps it inside the
    // range whatever the keys are.
    while (tmp >= base_ptr && s.key(run) < s.key(tmp)) tmp--;
    tmp++;
    if (tmp != run) {
      const typename Keys::Saved saved = s.save(run);
      for (int hi = run - 1; hi >= tmp; hi--) s.move(hi, hi + 1);
      s.restore(tmp, saved);
    }
  }
  return 1;
}

}  // namespace

int QSort(MV_Vector_double& v, int base_ptr, int total_elems) {
  if (total_elems <= 0) return 1;
  if (range_inside(base_ptr, total_elems, v.size()))
    return quicksort(SingleKeys<double*>{v.data()}, base_ptr, total_elems);
  return quicksort(SingleKeys<MV_Vector_double&>{v}, base_ptr, total_elems);
}

int QSort(MV_Vector_int& v, MV_Vector_double& x, int base_ptr, int total_elems) {
  if (total_elems <= 0) return 1;
  if (range_inside(base_ptr, total_elems, v.size()) && range_inside(base_ptr, total_elems, x.size()))
    return quicksort(PairedKeys<int*, double*, double>{v.data(), x.data()}, base_ptr, total_elems);
  return quicksort(PairedKeys<MV_Vector_int&, MV_Vector_double&, double>{v, x}, base_ptr, total_elems);
}

int QSort(int* v, int* x, int base_ptr, int total_elems) {
  if (total_elems <= 0) return 1;
  return quicksort(PairedKeys<int*, int*, int>{v, x}, base_ptr, total_elems);
}
