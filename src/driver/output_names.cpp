#include "driver/output_names.h"

#include "driver/level_constants.h"
#include "dual/dual.h"
#include "field/field.h"
#include "io/io.h"

std::string inputWindowName(const std::string& prefix, int image) {
  return formatFileName(image == 1 ? "%sIm_t.pgm" : "%sIm_dt.pgm", prefix.c_str());
}

std::string trueFieldName(const std::string& prefix) { return formatFileName("%s_true.motion", prefix.c_str()); }

std::string trueCurveName(const std::string& prefix, bool diagonal) {
  return formatFileName(diagonal ? "%s_trueS2_Cross" : "%s_trueS2_HV", prefix.c_str());
}

std::string resultLineName(const std::string& prefix, int r) {
  return formatFileName("%sevidence_resol%d", prefix.c_str(), r);
}

std::string motionTableName(const std::string& prefix, double gamma, double power, bool beforeProjection) {
  return formatFileName(beforeProjection ? "%sUVwithDiv_Gamma%eZeta%e.motion" : "%sUV_Gamma%eZeta%e.motion",
                        prefix.c_str(), gamma, power);
}

std::string curveName(const std::string& prefix, double gamma, double power, bool diagonal) {
  return formatFileName(diagonal ? "%sS2_Cross_Gamma%eZeta%e" : "%sS2_HV_Gamma%eZeta%e", prefix.c_str(), gamma,
                        power);
}

std::string dataWeightName(const std::string& prefix, double gamma, double power) {
  return formatFileName("%sDataOut_Gamma%eZeta%e.pgm", prefix.c_str(), gamma, power);
}

std::vector<std::string> runOutputNames(const RunOptions& o, const std::string& prefix) {
  std::vector<std::string> names = {inputWindowName(prefix, 1), inputWindowName(prefix, 2)};
  if (o.GT) names.insert(names.end(), {trueFieldName(prefix), trueCurveName(prefix, false), trueCurveName(prefix, true)});
  bool k41 = false;
  for (int r = o.multiresol - 1; r >= o.resolEnd - 1; --r) {
    names.push_back(resultLineName(prefix, r));
    k41 = k41 || !hornAndSchunckLevel(o, r);
  }
  if (o.resolEnd == 1) {
    const double gamma = levelConstants(o, 0).gamma;
    if (o.divZero) names.push_back(motionTableName(prefix, gamma, o.power, true));
    names.insert(names.end(), {motionTableName(prefix, gamma, o.power, false), curveName(prefix, gamma, o.power, false),
                               curveName(prefix, gamma, o.power, true), dataWeightName(prefix, gamma, o.power)});
  }
  // The comparisons run at every K41 level and at level 0 on both paths.
  if (o.GT && (k41 || o.resolEnd == 1))
    names.insert(names.end(), {angularErrorMapName(prefix), endPointErrorMapName(prefix)});
  if (o.GT && k41)
    names.insert(names.end(), {angularErrorMapName(kIterationMapsPrefix), endPointErrorMapName(kIterationMapsPrefix)});
  return names;
}
