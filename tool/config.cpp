// Placeholder until the configuration parser lands.
#include "config.h"

bool parseConversionConfig(const std::string&, std::string&, std::string&, CurveRequestMap&) {
    return false;
}
