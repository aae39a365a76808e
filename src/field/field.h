// Field tools: Gaussian blur, float-buffer conversions, pyramids, the missing-sample threshold and the
// missing-data low-pass filter.
#pragma once

#include "field/blur.h"
#include "field/buffers.h"
#include "field/ground_truth.h"
#include "field/missing_sample.h"
#include "field/projection.h"
#include "field/pyramid.h"
