// Primal motion solver: public headers of this folder.
#pragma once

#include "primal/filters.h"
#include "primal/horn_schunck.h"
#include "primal/k41.h"
#include "primal/k41_level_system.h"
#include "primal/k41_stencil.h"
#include "primal/prior_energy.h"
#include "primal/robust_weights.h"
#include "primal/stencil_border.h"
