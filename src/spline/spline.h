// B-spline interpolation and image resampling.
#pragma once

#include "spline/bspline.h"
#include "spline/image_operators.h"
#include "spline/spline_derivatives.h"
