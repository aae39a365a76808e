// The K41 primal system of one pyramid level: the one primal step of the K41 estimator, and the
// Hessian and right-hand side that the dual value reads.
//
// Within a level, the derivatives, the carried field, the scale interval and the lag weights stay
// fixed; only the multipliers and the data weights change from one step to the next. The object
// therefore forms the data products once, keeps the compressed-row arrays, the right-hand side and the
// solver's buffers for the whole level, writes only the values of each assembly into the pattern of the
// first one (filling the arrays anew, and deriving the incomplete-LU structure anew, only when the
// zero pattern changes), and remembers the solves it made:
// - a primal step whose multipliers and data weights are bit for bit those of one of the last two
//   solves takes that solve's result instead of solving the same system again;
// - the A and B of a dual value are those of the last assembly when it was made for the same
//   multipliers and data weights.
// The one-shot functions (PrimalMinimizer and its variants) build one for their single step; a step
// gives the same values and standard-output lines whatever the object did before.
#pragma once

#include <CImg.h>

#include <iostream>
#include <vector>

#include "primal/k41_stencil.h"
#include "sparse/inversion.h"
#include "sparse/mv_vector.h"

namespace k41_detail {
struct Setup;
}

// What a level system did: every primal step asked of it, and the work those steps and the requests
// for A and B cost.
struct K41LevelWork {
  long steps = 0;            // primal steps asked for
  long reusedSteps = 0;      // of them, answered by a remembered solve of the same system
  long solves = 0;           // linear solves made (one incomplete-LU factorisation each)
  long cgsIterations = 0;    // their CGS iterations
  long structures = 0;       // incomplete-LU structures derived (one per zero pattern met)
  long assemblies = 0;       // assemblies of A and B that wrote the pattern
  long valueAssemblies = 0;  // assemblies that wrote values into the kept pattern
  long heldSystems = 0;      // requests for A and B answered by the last assembly
  double solveSeconds = 0;   // wall time of the solved steps (assembly, factorisation and CGS)

  K41LevelWork& operator+=(const K41LevelWork& o);
};

class K41LevelSystem {
 public:
  // The level: the carried field UVtil (nc x nl x 2), the derivatives im_x, im_y, im_t (nc x nl, nc x nl
  // the size of im_x), the lag weights (eight image lists, which must outlive the object, or eight
  // constants), the blur of the data products (0: none), the scale interval and the level's entry count
  // nombre. Refuses (message naming `who`, exit status 1) a scale interval outside 0 <= neta <= lo, a grid
  // too large for 32-bit indices, images smaller than the grid and weights that mix lists and constants.
  K41LevelSystem(const char* who, const cimg_library::CImg<double>& UVtil, const cimg_library::CImg<double>& im_x,
                 const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                 const K41LagWeights& weights, float scale, int neta, int lo, int nombre);
  // Longitudinal lag weights 1, transverse 0, as PrimalMinimizer_K41Long.
  K41LevelSystem(const cimg_library::CImg<double>& UVtil, const cimg_library::CImg<double>& im_x,
                 const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t, float scale,
                 int neta, int lo, int nombre);

  // One primal step of the level (see PrimalMinimizer in primal/k41.h): assembles A w = B for these data
  // weights and multipliers and solves it (ILU(0)-preconditioned CGS, tolerance 1e-6). False with the
  // increment in UV (nc x nl x 2), true when the solve failed (UV untouched). Prints the lag-limit line
  // when lo exceeds half the grid, the entry-count mismatch line and the solver's failure note, on `out`.
  bool primalStep(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& data_out,
                  const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
                  std::ostream& out = std::cout);

  // The Hessian and the right-hand side of the level for these data weights and multipliers, as
  // fillingSparseHessian_A and fillingVector_B give them (with their line when the entry count differs
  // from nombre). They stay valid until the next step or request.
  struct System {
    const K41Csr& A;
    const MV_Vector_double& B;
  };
  System system(const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
                const cimg_library::CImg<double>& lambda_S2_cross);

  // For the evidence of the level, when IxIx, IxIy, IyIy are the level's products bit for bit and the
  // scale interval and entry count its own: the Hessian for these inputs as fillingSparseHessian_A gives
  // it (with its line), its incomplete-LU factor (the last solve's when made of it) and the solver's
  // work vectors, free for other solves. All null otherwise. Valid until the next step or request.
  struct Factored {
    const K41Csr* A;
    const CompRow_ILUPreconditioner_double* M;
    CGSWork* work;
  };
  Factored factoredHessian(const cimg_library::CImg<double>& IxIx, const cimg_library::CImg<double>& IxIy,
                           const cimg_library::CImg<double>& IyIy, const cimg_library::CImg<double>& data_out,
                           const cimg_library::CImg<double>& lambda_S2,
                           const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre);
  // The same Hessian with the ring held fixed (the log-determinant's), written into the pattern of the
  // last assembly and factorised with its analysis; `entries` receives its entry count. Null when the
  // products or scale interval are not the level's or the pattern is another. The factor stays the
  // level's (logDetLP may make its pivots positive) until the next step or request.
  CompRow_ILUPreconditioner_double* ringFixedFactor(const cimg_library::CImg<double>& IxIx,
                                                    const cimg_library::CImg<double>& IxIy,
                                                    const cimg_library::CImg<double>& IyIy,
                                                    const cimg_library::CImg<double>& data_out,
                                                    const cimg_library::CImg<double>& lambda_S2,
                                                    const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo,
                                                    int& entries);

  // For the constant part of the dual value: the squared temporal derivative (blurred as the other
  // products), the carried planes u and v, their sum and their difference (each nc x nl).
  const cimg_library::CImg<double>& ItIt() const { return ItIt_; }
  const cimg_library::CImg<double>& Util() const { return Util_; }
  const cimg_library::CImg<double>& Vtil() const { return Vtil_; }
  const cimg_library::CImg<double>& carriedSum() const { return sum_; }
  const cimg_library::CImg<double>& carriedDifference() const { return difference_; }
  int width() const { return nc_; }
  int height() const { return nl_; }
  int neta() const { return neta_; }
  int lo() const { return lo_; }
  int nombre() const { return nombre_; }
  const K41LagWeights& weights() const { return weights_; }

  const K41LevelWork& work() const;

 private:
  // The inputs that change from step to step, as the system reads them: the multipliers of the lags
  // that enter it and the data weights of the grid.
  struct Key {
    std::vector<double> lambdaHV, lambdaX, weights;
    // Whether the setup S reads the same inputs, bit for bit; set() makes it so (in the storage the
    // key already holds, so that keeping a key allocates nothing after the first).
    bool matches(const k41_detail::Setup& S) const;
    void set(const k41_detail::Setup& S);
    bool valid = false;
  };
  // A solve and what it gave (a key that is not valid: none).
  struct Solve {
    Key key;
    int code = 0;
    int entries = 0;
    std::vector<double> increment;  // u plane then v plane, line by line
  };

  k41_detail::Setup setupOf(const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
                            const cimg_library::CImg<double>& lambda_S2_cross) const;
  // Writes B and A for the setup S (values only when its pattern is the kept one).
  void assemble(const k41_detail::Setup& S, std::ostream& out);
  // Hands the solver the pattern of A_ for its analysis, once per pattern (at its first factorisation).
  void adoptPattern();
  // Whether IxIx, IxIy, IyIy and the scale interval are the level's.
  bool sameLevel(const cimg_library::CImg<double>& IxIx, const cimg_library::CImg<double>& IxIy,
                 const cimg_library::CImg<double>& IyIy, int neta, int lo) const;

  const char* who_;
  K41LagWeights weights_;
  int nc_, nl_, neta_, lo_, nombre_;
  cimg_library::CImg<double> IxIx_, IyIy_, IxIy_, ItIx_, ItIy_, ItIt_, Util_, Vtil_, sum_, difference_;
  K41Csr A_;
  MV_Vector_double B_;
  Key assembledKey_;  // inputs of the arrays A_ and B_ hold (valid once assembled)
  bool havePattern_ = false;  // A_ holds a pattern that values can be written into
  bool solverHasPattern_ = false;  // the solver adopted A_'s pattern (done at the first solve in it)
  PatternCGSInversion solver_;
  bool factorOfA_ = false;  // the solver's factor is that of A_ as it stands
  Solve solves_[2];   // the last two solves, the latest first
  mutable K41LevelWork work_;
};
