#include "driver/level_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include <CImg.h>

#include "driver/heap.h"
#include "driver/level_constants.h"
#include "driver/output_names.h"
#include "driver/run_status.h"
#include "dual/dual.h"
#include "evidence/evidence.h"
#include "field/field.h"
#include "io/io.h"
#include "primal/primal.h"
#include "spline/spline.h"

using namespace cimg_library;

namespace {

// A level does not repeat work whose result it already holds: the Horn & Schunck path solves once
// when its data weights cannot change, the K41 path computes its first increment only when the dual
// maximisation uses it, and the dual maximisation keeps the level's system between its primal steps.

// The data mask's border rules: the -offEdeges band, and at level 0 the padding.
void applyMaskBorders(const RunState& s, CImg<double>& out, int r) {
  setZeroBorder(out, s.opt.offEdeges, s.opt.offEdeges);
  if (r == 0) setZeroBorderOnExpandedRegion(out, s.opt.dxOrig, s.opt.dyOrig);
}

void printLevelHeader(int r, const LevelConstants& c, double power) {
  const std::string stars(64, '*');
  std::cout << stars << std::endl;
  std::cout << "Resolution " << r << " (gamma: " << c.gamma << " zeta: " << power << ")" << std::endl;
  std::cout << stars << std::endl;
  std::cout << "Scale interval [neta,lo]=[" << c.neta << "," << c.lo << "]" << std::endl;
}

// Spatial gradients of the (warped) second image and the temporal difference, corrected by the
// diffusion of a passive scalar when -sigDiff is not 0.
void levelDerivatives(RunState& s, int r) {
  const float blur = (float)s.opt.sigBlur;
  s.pyrf_x[r] = gradSpline_X(s.pyrImdt[r], blur);
  s.pyrf_y[r] = gradSpline_Y(s.pyrImdt[r], blur);
  s.pyrf_t[r] = grad_t(s.pyrIm[r], s.pyrImdt[r], blur);
  const double sigDiff = s.opt.sigDiff;
  if (sigDiff != 0) {
    s.pyrf_t[r] -= gradSpline_XX(s.pyrIm[r], blur) * 0.5 * sigDiff * sigDiff;
    s.pyrf_t[r] -= gradSpline_YY(s.pyrIm[r], blur) * 0.5 * sigDiff * sigDiff;
  }
}

// Six Horn & Schunck solves; with the L1 or Leclerc norm the data weights are recomputed from the
// current increment before each of the last five. The solves keep their arrays and the structure of
// their pattern in `kept`. True when one of the solves converged.
bool hornAndSchunckPath(RunState& s, int r, HornAndSchunckLevel& kept) {
  const float alpha = (float)s.opt.alpha;
  auto solve = [&] {
    return HornAndSchunck(s.pyrXinc[r], s.pyrXtil[r], s.pyrf_x[r], s.pyrf_y[r], s.pyrf_t[r], alpha, s.pyrOut[r], false,
                          kept);
  };
  const bool failed = solve();
  // With any other norm the weights stay (their border rules change nothing twice), so each further
  // solve is this one again and gives the increment that it gave; a failed solve is repeated, for its
  // lines.
  if (s.opt.norm != 1 && s.opt.norm != 0 && !failed) return true;
  bool converged = !failed;
  for (int k = 0; k < 5; ++k) {
    if (s.opt.norm == 1)
      s.pyrOut[r] = RobustDataCoef_QuasiTV(s.pyrXinc[r], s.pyrf_x[r], s.pyrf_y[r], s.pyrf_t[r], s.opt.sigma_obs);
    else if (s.opt.norm == 0)
      s.pyrOut[r] = RobustDataCoef(s.pyrXinc[r], s.pyrf_x[r], s.pyrf_y[r], s.pyrf_t[r], s.opt.sigma_obs);
    applyMaskBorders(s, s.pyrOut[r], r);
    if (!solve()) converged = true;
  }
  return converged;
}

// The true field at the size of level r, in pixels of that level (all zero without -GT).
CImg<double> levelTruth(const RunState& s, int r) {
  return resizeNearest(s.trueUV, s.pyrf_x[r].width(), s.pyrf_x[r].height()) * (1.0 / std::pow(2.0, r));
}

// The -Umean pre-shift of image 2 in pixels of level r. Image 2 is warped by (Umean, 0) before the
// pyramids, so every estimate is the motion left after that shift: the motion itself is the estimate
// plus (shift, 0).
double levelShift(const RunOptions& o, int r) { return o.Umean / std::pow(2.0, r); }

// field + (shift, 0). A zero shift leaves the field as it is (adding 0 would turn -0 into +0).
CImg<double> withShift(CImg<double> field, double shift) {
  if (shift != 0) field.get_shared_slice(0) += shift;
  return field;
}

// Columns and lines offGT to the original window's size minus offGT, both planes.
CImg<double> comparisonWindow(const RunState& s, const CImg<double>& field) {
  const int o = s.opt.offGT;
  return field.get_crop(o, o, 0, 0, s.opt.dxOrig - o - 1, s.opt.dyOrig - o - 1, 1, 0);
}

void compareAtFullSize(RunState& s, const CImg<double>& total, int r) {
  const CImg<double> estimate = resizeNearest(total, s.dx, s.dy) * std::pow(2.0, r);
  const CImg<double> estimateCrop = comparisonWindow(s, estimate);
  const CImg<double> truthCrop = comparisonWindow(s, s.trueUV);
  const CImg<double> mask(estimateCrop.width(), estimateCrop.height(), 1, 1, 1.0);
  groundTruthComparison(estimateCrop, truthCrop, mask, s.prefix(), s.save);
}

// True when the level's increment comes from a converged primal solve (the first one, or one of the
// dual maximisation's). `work` receives what the estimation cost.
bool k41Path(RunState& s, int r, const LevelConstants& c, EvidenceCarry& carry, LevelWork& work) {
  const RunOptions& o = s.opt;
  const double eps_r = std::pow(2.0, r) * o.eps;
  std::cout << "precision " << eps_r << std::endl;
  applyMaskBorders(s, s.pyrOut[r], r);

  const int nombre = NumberNonZeroElementInHessian_K41Long(s.pyrf_x[r], s.pyrf_y[r], s.pyrOut[r], s.pyrf_lambda[r],
                                                           s.pyrf_lambda_cross[r], 0.0f, c.neta, c.lo);
  std::cout << "number non zero elements: " << nombre << std::endl;

  // The first increment, from the initial multipliers: the dual maximisation's first evaluation solves
  // the same problem (on single-precision copies of the level) and replaces it, so it is computed only
  // when that evaluation's solve fails.
  DualLevelWork dualWork;
  K41LevelWork firstWork;
  bool firstFailed = false;
  dualWork.firstIncrement = [&](CImg<double>& Xinc) {
    K41LevelSystem first(s.pyrXtil[r], s.pyrf_x[r], s.pyrf_y[r], s.pyrf_t[r], 0.0f, c.neta, c.lo, nombre);
    firstFailed = first.primalStep(Xinc, s.pyrOut[r], s.pyrf_lambda[r], s.pyrf_lambda_cross[r]);
    firstWork = first.work();
  };

  const CImg<double> truth = levelTruth(s, r);
  // The dual compares its iterates (the estimate, without the pre-shift) with the truth less the shift.
  const CImg<double> dualTruth = o.GT ? withShift(truth, -levelShift(o, r)) : truth;
  const CImg<double> mask(s.pyrOut[r].width(), s.pyrOut[r].height(), 1, 1, 1.0);
  bool dualSolved = false;
  s.save[10] = optimizeDualFunction_LongK41(s.pyrf_lambda[r], s.pyrf_lambda_cross[r], s.pyrXinc[r], s.pyrXtil[r],
                                            dualTruth, s.pyrf_x[r], s.pyrf_y[r], s.pyrf_t[r], s.pyrOut[r], mask, r,
                                            nombre, o.offEdeges, o.dxOrig, o.dyOrig, (int)o.norm, o.sigma_obs,
                                            c.gamma, o.power, 0.0f, c.neta, c.lo, eps_r, o.nbItLbfgs, false,
                                            o.divZero, &dualWork, &dualSolved);
  work.k41 = true;
  work.firstIncrementComputed = dualWork.firstIncrementComputed;
  work.primal = dualWork.primal;
  work.primal += firstWork;

  if (o.nbItTrace != 0) {
    std::cout << "\nBayesian evidence" << std::endl;
    const double beta = evidence_betaLong(s.pyrXinc[r], s.pyrf_x[r], s.pyrf_y[r], s.pyrf_t[r], s.pyrOut[r],
                                          s.pyrf_lambda[r], s.pyrf_lambda_cross[r], 0.0f, c.neta, c.lo, nombre,
                                          o.nbItTrace, 0.01, o.FactorRobParam, dualWork.level.get());
    std::cout << "." << std::flush;
    evidence_powerLawLong(s.pyrXinc[r], s.pyrf_x[r], s.pyrf_y[r], s.pyrf_t[r], s.pyrOut[r], beta, s.pyrf_lambda[r],
                          s.pyrf_lambda_cross[r], 0, c.neta, c.lo, nombre, o.FactorRobParam, s.save,
                          dualWork.level.get());
    dualWork.level.reset();  // its last use: the memory goes back before the prior energy's assembly
    std::cout << "." << std::flush;
    const CImg<double> noData(s.pyrOut[r].width(), s.pyrOut[r].height(), 1, 1, 0.0);
    const double prior = DualFunction_K41Long(s.pyrXinc[r], s.pyrXtil[r], s.pyrf_x[r], s.pyrf_y[r], s.pyrf_t[r],
                                              noData, s.pyrf_lambda[r], s.pyrf_lambda_cross[r], 0.0f, c.neta, c.lo,
                                              c.gamma, o.power, nombre);
    std::cout << "max. evidence Beta = " << beta << std::endl;
    std::cout << "Neglected prior energy: " << 2 * beta * prior << std::endl;
    carry.beta = beta;
    carry.neglectedPrior = 2 * beta * prior;
  }

  if (o.GT) {
    const CImg<double> total = withShift(s.pyrXinc[r] + s.pyrXtil[r], levelShift(o, r));
    compareAtFullSize(s, total, r);
    const CImg<double> levelMask(total.width(), total.height(), 1, 1, 1.0);
    groundTruthComparison(total, truth, levelMask, s.prefix(), s.save);
  }
  // The first increment counts when it was computed: then it is what the maximisation hands back unless
  // one of its own converged solves replaced it.
  return dualSolved || (work.firstIncrementComputed && !firstFailed);
}

// The motion accumulated down to level r, doubled and upsampled into the carried motion of level
// r - 1 (optionally made divergence-free), and level r - 1 of image 2 warped by it.
void handOver(RunState& s, int r) {
  const int f = r - 1;
  for (int k = 0; k < 2; ++k) {
    Proj_Dup_Spline(s.pyrTmp[f], (s.pyrXinc[r].get_slice(k) + s.pyrXtil[r].get_slice(k)) * 2.0);
    FillChannel(s.pyrXtil[f], s.pyrTmp[f], k);
  }
  if (s.opt.divZero) maj_vecteurs(s.pyrXtil[f], s.pyrXtil[f], true);
  s.pyrTmp[f] = s.pyrImdt[f];
  Recal_spline(s.pyrImdt[f], s.pyrTmp[f], s.pyrXtil[f], 3);
}

CImg<double> originalWindow(const RunState& s, const CImg<double>& field) {
  return field.get_crop(0, 0, 0, 0, s.opt.dxOrig - 1, s.opt.dyOrig - 1, 1, 0);
}

// Level 0: the motion tables (the estimate plus the pre-shift), the structure-function curves, the
// data-weight image and the final comparison with the true field.
void finalOutputs(RunState& s, const LevelConstants& c) {
  const RunOptions& o = s.opt;
  const std::string& prefix = s.prefix();
  const CImg<double> total = s.pyrXtil[0] + s.pyrXinc[0];
  CImg<double> estimate = total;
  if (o.divZero) {
    write_aMotionFile(motionTableName(prefix, c.gamma, o.power, true),
                      originalWindow(s, withShift(total, o.Umean)));
    maj_vecteurs(estimate, total, true);
  }
  s.X = withShift(estimate, o.Umean);
  write_aMotionFile(motionTableName(prefix, c.gamma, o.power, false), originalWindow(s, s.X));
  // The curves are those of the estimate: the constant pre-shift cancels in every increment.
  const CImg<double> window = originalWindow(s, estimate);
  write_S2(StructureFunction2nd_horiVertDir(window, 1, o.MaxAll - 1, false),
           curveName(prefix, c.gamma, o.power, false));
  write_S2(StructureFunction2nd_crossDir(window, 1, o.MaxAll - 1, false),
           curveName(prefix, c.gamma, o.power, true));
  write_pgm255(s.pyrOut[0], dataWeightName(prefix, c.gamma, o.power), 0, 1);
  if (o.GT) {
    const CImg<double> estimateCrop = comparisonWindow(s, s.X);
    const CImg<double> truthCrop = comparisonWindow(s, s.trueUV);
    const CImg<double> mask(estimateCrop.width(), estimateCrop.height(), 1, 1, 1.0);
    groundTruthComparison(estimateCrop, truthCrop, mask, s.prefix(), s.save);
  }
}

}  // namespace

void runLevel(RunState& s, int r, EvidenceCarry& carry, LevelWork* work) {
  LevelWork done;
  const RunOptions& o = s.opt;
  const LevelConstants c = levelConstants(o, r);
  printLevelHeader(r, c, o.power);

  levelDerivatives(s, r);
  s.pyrOut[r].fill(1.0);
  applyMaskBorders(s, s.pyrOut[r], r);
  s.pyrXinc[r].fill(0.0);

  s.lastLevel = r;
  if (hornAndSchunckLevel(o, r)) {
    HornAndSchunckLevel kept;
    s.lastLevelSolved = hornAndSchunckPath(s, r, kept);
    done.primal.steps = done.primal.assemblies = done.primal.solves = kept.solves();
    done.primal.cgsIterations = kept.cgsIterations();
    done.primal.structures = kept.structures();
  } else {
    s.lastLevelSolved = k41Path(s, r, c, carry, done);
  }
  if (work) *work = done;

  if (r > 0)
    handOver(s, r);
  else
    finalOutputs(s, c);

  s.save[0] = c.gamma;
  s.save[1] = o.power;
  s.save[8] = carry.neglectedPrior;
  s.save[9] = carry.beta;
  writeLine(s.save, resultLineName(s.prefix(), r));
}

void refuseEmptyComparisonWindow(const RunOptions& opt) {
  if (!opt.GT) return;
  const int o = opt.offGT;
  if (o < 0 || opt.dxOrig - 2 * (long long)o < 1 || opt.dyOrig - 2 * (long long)o < 1)
    failRun("Option -offGT: " + std::to_string(o) + " leaves no pixel of the " + std::to_string(opt.dxOrig) + " x " +
            std::to_string(opt.dyOrig) + " window for the ground-truth comparison (allowed: 0 to " +
            std::to_string((std::min(opt.dxOrig, opt.dyOrig) - 1) / 2) + ")");
}

void runLevels(RunState& s) {
  // Checked before the first level, so that no level's work is spent on a run that cannot finish.
  refuseEmptyComparisonWindow(s.opt);
  EvidenceCarry carry;
  for (int r = s.opt.multiresol - 1; r >= s.opt.resolEnd - 1; --r) {
    runStep("estimating level " + std::to_string(r), [&] { runLevel(s, r, carry); });
    returnFreedMemory();  // what the level freed goes back to the system between levels only
  }
}
