// Placeholder until the extraction run lands.
#include "extract.h"

bool extractCurves(const std::string&, std::string, const CurveRequestMap&, bool, bool) {
    return false;
}
