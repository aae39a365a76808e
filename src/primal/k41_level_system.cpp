// The K41 primal system of one pyramid level and its primal step.
#include "primal/k41_level_system.h"

#include <CImg.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <sstream>
#include <utility>

#include "field/field.h"
#include "io/fail.h"
#include "primal/k41_detail.h"

using namespace cimg_library;
using namespace k41_detail;

namespace {

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

void requireCover(const char* who, const char* name, const CImg<double>& im, int nc, int nl, int planes) {
  if (im.width() < nc || im.height() < nl || im.depth() < planes) {
    std::ostringstream s;
    s << who << ": image " << name << " is " << im.width() << " x " << im.height() << " x " << im.depth()
      << ", smaller than " << nc << " x " << nl << " x " << planes;
    failRun(s.str());
  }
}

CImg<double> plane(const CImg<double>& im, int nc, int nl) { return im.get_crop(0, 0, 0, 0, nc - 1, nl - 1, 0, 0); }

}  // namespace

K41LevelWork& K41LevelWork::operator+=(const K41LevelWork& o) {
  steps += o.steps;
  reusedSteps += o.reusedSteps;
  solves += o.solves;
  cgsIterations += o.cgsIterations;
  structures += o.structures;
  assemblies += o.assemblies;
  valueAssemblies += o.valueAssemblies;
  heldSystems += o.heldSystems;
  solveSeconds += o.solveSeconds;
  return *this;
}

bool K41LevelSystem::Key::matches(const Setup& S) const {
  if (!valid || !sameBits(lambdaHV, S.lambdaHV) || !sameBits(lambdaX, S.lambdaX)) return false;
  const size_t nc = (size_t)S.nc;
  if (weights.size() != nc * S.nl) return false;
  for (int y = 0; y < S.nl; ++y)
    if (std::memcmp(weights.data() + y * nc, S.data.p + y * S.data.w, nc * sizeof(double)) != 0) return false;
  return true;
}

void K41LevelSystem::Key::set(const Setup& S) {
  lambdaHV.assign(S.lambdaHV.begin(), S.lambdaHV.end());
  lambdaX.assign(S.lambdaX.begin(), S.lambdaX.end());
  const size_t nc = (size_t)S.nc;
  weights.resize(nc * S.nl);
  for (int y = 0; y < S.nl; ++y) std::memcpy(weights.data() + y * nc, S.data.p + y * S.data.w, nc * sizeof(double));
  valid = true;
}

K41LevelSystem::K41LevelSystem(const CImg<double>& UVtil, const CImg<double>& im_x, const CImg<double>& im_y,
                               const CImg<double>& im_t, float scale, int neta, int lo, int nombre)
    : K41LevelSystem("PrimalMinimizer_K41Long", UVtil, im_x, im_y, im_t, k41ConstantWeights(1.0, 0.0), scale, neta, lo,
                     nombre) {}

K41LevelSystem::K41LevelSystem(const char* who, const CImg<double>& UVtil, const CImg<double>& im_x,
                               const CImg<double>& im_y, const CImg<double>& im_t, const K41LagWeights& weights,
                               float scale, int neta, int lo, int nombre)
    : who_(who), weights_(weights), nc_(im_x.width()), nl_(im_x.height()), neta_(neta), lo_(lo), nombre_(nombre) {
  checkScaleInterval(who, neta, lo);
  checkGridSize(who, nc_, nl_);
  requireCover(who, "im_y", im_y, nc_, nl_, 1);
  requireCover(who, "im_t", im_t, nc_, nl_, 1);
  requireCover(who, "UVtil", UVtil, nc_, nl_, 2);
  for (int i = 1; i < 8; ++i)
    if (!weights.list[i] != !weights.list[0])
      failRun(std::string(who) + ": lag weights that mix image lists and constants");
  // The products of the primal step and of the dual value, formed (and blurred) once for the level.
  const CImg<double> Ix = plane(im_x, nc_, nl_), Iy = plane(im_y, nc_, nl_), It = plane(im_t, nc_, nl_);
  IxIx_ = Ix.get_mul(Ix);
  IyIy_ = Iy.get_mul(Iy);
  IxIy_ = Ix.get_mul(Iy);
  ItIx_ = It.get_mul(Ix);
  ItIy_ = It.get_mul(Iy);
  ItIt_ = It.get_mul(It);
  if (scale != 0)
    for (CImg<double>* im : {&IxIx_, &IyIy_, &IxIy_, &ItIx_, &ItIy_, &ItIt_}) blurDeriche(*im, scale);
  Util_ = UVtil.get_crop(0, 0, 0, 0, nc_ - 1, nl_ - 1, 0, 0);
  Vtil_ = UVtil.get_crop(0, 0, 1, 0, nc_ - 1, nl_ - 1, 1, 0);
  sum_ = Util_ + Vtil_;
  difference_ = Util_ - Vtil_;
  B_ = MV_Vector_double(2 * nc_ * nl_, 0.0);
}

const K41LevelWork& K41LevelSystem::work() const {
  work_.structures = solver_.structures();
  work_.solves = solver_.solves();
  work_.cgsIterations = solver_.iterations();
  return work_;
}

Setup K41LevelSystem::setupOf(const CImg<double>& data_out, const CImg<double>& lambda_S2,
                              const CImg<double>& lambda_S2_cross) const {
  return makeSetup(who_, nc_, nl_, &IxIx_, &IxIy_, &IyIy_, data_out, lambda_S2, lambda_S2_cross, weights_, neta_,
                   lo_);
}

void K41LevelSystem::assemble(const Setup& S, std::ostream& out) {
  fillRhs(S, B_.data(), ItIx_, ItIy_, Util_, Vtil_);
  if (havePattern_ && fillValuesInPattern(S, A_)) {
    ++work_.valueAssemblies;
  } else {
    // The first assembly of the level, or a zero pattern that differs from the kept one.
    if (nombre_ > 0 && A_.val.size() < (size_t)nombre_) {
      A_.val.resize(nombre_);
      A_.col_ind.resize(nombre_);
    }
    fillGrowing(S, A_);
    havePattern_ = true;
    solverHasPattern_ = false;
    ++work_.assemblies;
  }
  factorOfA_ = false;
  reportCountMismatch(A_.nnz(), nombre_, out);
  assembledKey_.set(S);
}

void K41LevelSystem::adoptPattern() {
  if (solverHasPattern_) return;
  solver_.adopt(2 * nc_ * nl_, A_.nnz(), A_.val.data(), A_.row_ptr.data(), A_.col_ind.data());
  solverHasPattern_ = true;
}

bool K41LevelSystem::sameLevel(const CImg<double>& IxIx, const CImg<double>& IxIy, const CImg<double>& IyIy,
                               int neta, int lo) const {
  auto same = [](const CImg<double>& a, const CImg<double>& b) {
    return a.width() == b.width() && a.height() == b.height() && a.depth() == 1 && b.depth() == 1 &&
           a.spectrum() == 1 && b.spectrum() == 1 && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
  };
  return neta == neta_ && lo == lo_ && nc_ > 0 && nl_ > 0 && same(IxIx, IxIx_) && same(IxIy, IxIy_) &&
         same(IyIy, IyIy_);
}

K41LevelSystem::Factored K41LevelSystem::factoredHessian(const CImg<double>& IxIx, const CImg<double>& IxIy,
                                                         const CImg<double>& IyIy, const CImg<double>& data_out,
                                                         const CImg<double>& lambda_S2,
                                                         const CImg<double>& lambda_S2_cross, int neta, int lo,
                                                         int nombre) {
  if (nombre != nombre_ || !sameLevel(IxIx, IxIy, IyIy, neta, lo)) return {nullptr, nullptr, nullptr};
  system(data_out, lambda_S2, lambda_S2_cross);
  adoptPattern();
  if (!factorOfA_) solver_.factorize(A_.val.data(), A_.row_ptr.data(), A_.col_ind.data());
  factorOfA_ = true;
  return {&A_, &solver_.factor(), &solver_.work()};
}

CompRow_ILUPreconditioner_double* K41LevelSystem::ringFixedFactor(const CImg<double>& IxIx, const CImg<double>& IxIy,
                                                                  const CImg<double>& IyIy,
                                                                  const CImg<double>& data_out,
                                                                  const CImg<double>& lambda_S2,
                                                                  const CImg<double>& lambda_S2_cross, int neta, int lo,
                                                                  int& entries) {
  if (!havePattern_ || !sameLevel(IxIx, IxIy, IyIy, neta, lo)) return nullptr;
  adoptPattern();
  // A_ then holds other values than those of an assembly, and the factor follows them.
  assembledKey_.valid = false;
  factorOfA_ = false;
  if (!fillValuesInPattern(setupOf(data_out, lambda_S2, lambda_S2_cross), A_, true)) return nullptr;
  entries = A_.nnz();
  return &solver_.factorize(A_.val.data(), A_.row_ptr.data(), A_.col_ind.data());
}

K41LevelSystem::System K41LevelSystem::system(const CImg<double>& data_out, const CImg<double>& lambda_S2,
                                              const CImg<double>& lambda_S2_cross) {
  const Setup S = setupOf(data_out, lambda_S2, lambda_S2_cross);
  if (assembledKey_.matches(S)) {
    ++work_.heldSystems;
    reportCountMismatch(A_.nnz(), nombre_);  // the line the assembly prints
  } else {
    assemble(S, std::cout);
  }
  return {A_, B_};
}

bool K41LevelSystem::primalStep(CImg<double>& UV, const CImg<double>& data_out, const CImg<double>& lambda_S2,
                                const CImg<double>& lambda_S2_cross, std::ostream& out) {
  ++work_.steps;
  reportLoLimit(nc_, nl_, lo_, out);
  if (UV.width() != nc_ || UV.height() != nl_ || UV.depth() < 2) {
    std::ostringstream s;
    s << who_ << ": the increment image is " << UV.width() << " x " << UV.height() << " x " << UV.depth()
      << ", not " << nc_ << " x " << nl_ << " x 2";
    failRun(s.str());
  }
  const size_t N = (size_t)nc_ * nl_;
  const Setup S = setupOf(data_out, lambda_S2, lambda_S2_cross);

  // The same system as a remembered solve: its result and its lines, without solving it again.
  for (const Solve& s : solves_) {
    if (!s.key.matches(S)) continue;
    ++work_.reusedSteps;
    reportCountMismatch(s.entries, nombre_, out);
    if (s.code != 0) {
      out << "no convergence (output CGS " << s.code << ")";
      return true;
    }
    std::memcpy(UV.data(), s.increment.data(), 2 * N * sizeof(double));
    return false;
  }

  const auto start = std::chrono::steady_clock::now();
  assemble(S, out);
  adoptPattern();
  const int code = solver_.solve(A_.val.data(), A_.row_ptr.data(), A_.col_ind.data(), B_, 1e-6, out);
  factorOfA_ = true;
  work_.solveSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::swap(solves_[0], solves_[1]);  // the older record's storage takes the new solve
  Solve& s = solves_[0];
  s.key.set(S);
  s.code = code;
  s.entries = A_.nnz();
  s.increment.assign(solver_.solution().data(), solver_.solution().data() + 2 * N);
  if (code != 0) return true;
  // Plane u then plane v of UV, each line by line: the layout of the solution.
  std::memcpy(UV.data(), s.increment.data(), 2 * N * sizeof(double));
  return false;
}
