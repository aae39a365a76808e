// The names of the files a run writes, formed from the output prefix (list-file line 3): the one
// place that holds their templates, for the writers of the run and for the start-up check that no
// output is an input.
#pragma once

#include <string>
#include <vector>

#include "driver/options.h"

// "<prefix>Im_t.pgm" (image 1) and "<prefix>Im_dt.pgm" (image 2): the input windows.
std::string inputWindowName(const std::string& prefix, int image);
// With -GT: "<prefix>_true.motion" and the curves "<prefix>_trueS2_HV" / "<prefix>_trueS2_Cross".
std::string trueFieldName(const std::string& prefix);
std::string trueCurveName(const std::string& prefix, bool diagonal);
// "<prefix>evidence_resol<r>": the result lines of level r.
std::string resultLineName(const std::string& prefix, int r);
// Level 0, with the level's power-law factor and exponent in "%e" notation: the motion table
// "<prefix>UV_Gamma<g>Zeta<z>.motion" (with beforeProjection, "<prefix>UVwithDiv_..."), the curves
// "<prefix>S2_HV_Gamma<g>Zeta<z>" / "<prefix>S2_Cross_..." and "<prefix>DataOut_Gamma<g>Zeta<z>.pgm".
std::string motionTableName(const std::string& prefix, double gamma, double power, bool beforeProjection);
std::string curveName(const std::string& prefix, double gamma, double power, bool diagonal);
std::string dataWeightName(const std::string& prefix, double gamma, double power);

// Every file that a run with these options and this prefix may write, in the order of the run: the
// names above for the levels that run and the options set, and with -GT the maps of the ground-truth
// comparisons (prefix "<prefix>") and of the dual iterations (in the working directory).
std::vector<std::string> runOutputNames(const RunOptions& opt, const std::string& prefix);
