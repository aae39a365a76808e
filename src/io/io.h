// Input and output of a run: list file, images, padding, multiplier file, PGM, curve and result-line
// writers, border masks.
#pragma once

#include "io/fail.h"
#include "io/field_file.h"
#include "io/input_file.h"
#include "io/listfile.h"
#include "io/motion_file.h"
#include "io/multipliers.h"
#include "io/output_file.h"
#include "io/outputs.h"
#include "io/pgm.h"
#include "io/tiff.h"
#include "io/window.h"
