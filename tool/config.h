// The conversion configuration (.tcc) parser.
#ifndef WAVTREX_TOOL_CONFIG_H
#define WAVTREX_TOOL_CONFIG_H

#include <string>

#include "curve_request.h"

// Reads the configuration at configPath. Sets the waveform path, the base
// output folder and the requests as far as the file gives them, creating the
// folders it names. Returns false after printing why when a folder cannot be
// created.
bool parseConversionConfig(const std::string& configPath, std::string& waveformPath,
                           std::string& baseFolder, CurveRequestMap& requests);

#endif
