// Bayesian evidence of a level's result: random deviates, randomised trace estimates, log-determinant of
// the primal Hessian, data energy and data precision, minus the log evidence of the power law.
#pragma once

#include "evidence/data_precision.h"
#include "evidence/log_evidence.h"
#include "evidence/logdet.h"
#include "evidence/random.h"
#include "evidence/trace.h"
