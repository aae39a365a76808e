// K41 constraints and dual optimisation: public headers of this folder.
#pragma once

#include "dual/structure_functions.h"
#include "dual/structure_functions_pth.h"
#include "dual/dual_function.h"
#include "dual/dual_optimizer.h"
