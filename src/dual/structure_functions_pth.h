// Structure functions of order p (a double): the signed family raises the velocity increments to the
// power p with the normalisers and transverse rule of the second-order functions; the absolute family
// raises their absolute values to the power p and averages only the terms above a small threshold.
// Same field layout, lag ranges, weight lists and result vectors as in structure_functions.h. These
// are analysis functions; the estimation does not call them.
#pragma once

#include <CImg.h>

// Signed family, horizontal/vertical lags.
cimg_library::CImg<double> StructureFunctionPth_horiVertDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                            const cimg_library::CImgList<double>& z_right,
                                                            const cimg_library::CImgList<double>& z_down,
                                                            const cimg_library::CImgList<double>& z_t_right,
                                                            const cimg_library::CImgList<double>& z_t_down,
                                                            double p);
cimg_library::CImg<double> StructureFunctionPth_horiVertDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                            bool trans, double p);
cimg_library::CImg<double> StructureFunctionPthLong_horiVertDir(const cimg_library::CImg<double>& UV, int neta,
                                                                int lo, double p);
cimg_library::CImg<double> StructureFunctionPthTrans_horiVertDir(const cimg_library::CImg<double>& UV, int neta,
                                                                 int lo, double p);

// Signed family, diagonal lag indices.
cimg_library::CImg<double> StructureFunctionPth_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                         const cimg_library::CImgList<double>& z_rightDown,
                                                         const cimg_library::CImgList<double>& z_rightUp,
                                                         const cimg_library::CImgList<double>& z_t_rightDown,
                                                         const cimg_library::CImgList<double>& z_t_rightUp,
                                                         double p);
cimg_library::CImg<double> StructureFunctionPth_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                         bool trans, double p);
cimg_library::CImg<double> StructureFunctionPthLong_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                             double p);
cimg_library::CImg<double> StructureFunctionPthTrans_crossDir(const cimg_library::CImg<double>& UV, int neta,
                                                              int lo, double p);

// Absolute family, horizontal/vertical lags (pair sums tested against 2 * 1e-15^p). A lag at which
// no pair sum passes the test gives 0.
cimg_library::CImg<double> StructureFunctionPthAbs_horiVertDir(const cimg_library::CImg<double>& UV, int neta,
                                                               int lo,
                                                               const cimg_library::CImgList<double>& z_right,
                                                               const cimg_library::CImgList<double>& z_down,
                                                               const cimg_library::CImgList<double>& z_t_right,
                                                               const cimg_library::CImgList<double>& z_t_down,
                                                               double p);
cimg_library::CImg<double> StructureFunctionPthAbs_horiVertDir(const cimg_library::CImg<double>& UV, int neta,
                                                               int lo, bool trans, double p);
cimg_library::CImg<double> StructureFunctionPthLongAbs_horiVertDir(const cimg_library::CImg<double>& UV, int neta,
                                                                   int lo, double p);
cimg_library::CImg<double> StructureFunctionPthTransAbs_horiVertDir(const cimg_library::CImg<double>& UV, int neta,
                                                                    int lo, double p);

// Absolute family, diagonal lag indices (each term tested against 1e-15^p). A lag at which no term
// passes the test gives 0.
cimg_library::CImg<double> StructureFunctionPthAbs_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                            const cimg_library::CImgList<double>& z_rightDown,
                                                            const cimg_library::CImgList<double>& z_rightUp,
                                                            const cimg_library::CImgList<double>& z_t_rightDown,
                                                            const cimg_library::CImgList<double>& z_t_rightUp,
                                                            double p);
cimg_library::CImg<double> StructureFunctionPthAbs_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                            bool trans, double p);
cimg_library::CImg<double> StructureFunctionPthLongAbs_crossDir(const cimg_library::CImg<double>& UV, int neta,
                                                                int lo, double p);
cimg_library::CImg<double> StructureFunctionPthTransAbs_crossDir(const cimg_library::CImg<double>& UV, int neta,
                                                                 int lo, double p);
