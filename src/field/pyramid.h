// Image and multiplier pyramids, the missing-data low-pass filter that builds coarser image levels,
// and the nearest-neighbour resize rule used between levels.
//
// A pyramid is a list of 8 images, entry 0 the finest level, each coarser entry half the width and
// height of the one below. A sample v with |v| >= kMissingSample (1022) counts as missing.
#pragma once

#include "field/missing_sample.h"

namespace cimg_library {
template <typename T> struct CImg;
template <typename T> struct CImgList;
}

// Number of entries of every pyramid.
constexpr int kPyramidEntries = 8;

// Image pyramid: entries 0 to `coarse` are zero-filled images of (nc >> coarse) * 2^(coarse - k) x
// (nl >> coarse) * 2^(coarse - k) x nslice, one channel; entries above `coarse` are empty. A coarse
// index above 7 asks for entries that do not exist: one line on standard error, exit status 1.
cimg_library::CImgList<double> alloc_pyramid(int nc, int nl, int nslice, int coarse);

// Multiplier pyramid: entry k (0 <= k <= coarse) is a zero-filled vector of max(2, (nc >> k) + 1)
// values; entries above `coarse` are empty. Coarse above 7: as above.
cimg_library::CImgList<double> alloc_pyramid(int nc, int coarse);

// Missing-data correlation of plane 0 of b with the kernel `filtre` (odd width and height, centred),
// replicated border: samples with |v| >= kMissingSample (1022) are left out and the sum renormalised
// by the weight of the samples present; an output whose kernel weight is more than half missing
// becomes kMissingMarker (1023), or -1023 once any sample <= -1022 has been met in the call.
cimg_library::CImg<double> Filtre_2D_sparse(const cimg_library::CImg<double>& b,
                                            const cimg_library::CImg<double>& filtre);

// As above with the missing threshold |v| >= max - 1 and the markers max / -max (after a sample
// <= 1 - max).
cimg_library::CImg<double> Filtre_2D_sparse(const cimg_library::CImg<double>& b,
                                            const cimg_library::CImg<double>& filtre, int max);

// Periodic border (one-step wrap) when `periodic`, replicated otherwise; samples v >= kMissingSample
// are missing and a mostly missing output becomes kMissingMarker.
cimg_library::CImg<double> Filtre_2D_sparse(const cimg_library::CImg<double>& b,
                                            const cimg_library::CImg<double>& filtre, bool periodic);

// As the previous with the missing threshold v >= max - 1 and the marker max.
cimg_library::CImg<double> Filtre_2D_sparse(const cimg_library::CImg<double>& b,
                                            const cimg_library::CImg<double>& filtre, bool periodic, int max);

// The 5 x 1 low-pass kernel 0.05, 0.25, 0.4, 0.25, 0.05.
cimg_library::CImg<double> burtKernel();

// The next coarser image level: the filter along lines with PB_burt, then along columns with its
// transpose, then nearest-neighbour decimation to width x height (the samples at even coordinates
// when the sizes halve).
cimg_library::CImg<double> coarserLevel(const cimg_library::CImg<double>& level,
                                        const cimg_library::CImg<double>& PB_burt, int width, int height);

// Nearest-neighbour resize of every slice to width x height: output (x, y) takes input
// (floor(x * w_in / w_out), floor(y * h_in / h_out)); the slice count does not change.
cimg_library::CImg<double> resizeNearest(const cimg_library::CImg<double>& in, int width, int height);
