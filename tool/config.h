// The conversion configuration (.tcc) parser.
#ifndef WAVTREX_TOOL_CONFIG_H
#define WAVTREX_TOOL_CONFIG_H

#include <string>

#include "curve_request.h"

// Reads the configuration at configPath line by line with plain substring
// searches. Sets the waveform path, the base output folder and the requests
// as far as the file gives them, creating the base folder and each list's
// sub-folder as it reads them. A file that cannot be opened changes nothing
// and succeeds; reading also ends, successfully, at the first line longer
// than 2047 characters. Returns false, after createOutputFolder has printed
// why, when a folder cannot be created; folders made so far stay.
bool parseConversionConfig(const std::string& configPath, std::string& waveformPath,
                           std::string& baseFolder, CurveRequestMap& requests);

#endif
