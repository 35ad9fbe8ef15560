// What a configuration asks the extraction run to write.
#ifndef WAVTREX_TOOL_CURVE_REQUEST_H
#define WAVTREX_TOOL_CURVE_REQUEST_H

#include <map>
#include <set>
#include <string>

struct CurveRequest {
    std::string subFolder;      // relative to the base output folder; "." for none
    std::string curveFileName;  // used as written, no extension added
};

// Node name -> request; equal names keep their insertion order.
using CurveRequestMap = std::multimap<std::string, CurveRequest>;

// Names of the signals whose curve file was written completely.
using ExportedSignalSet = std::multiset<std::string>;

#endif
