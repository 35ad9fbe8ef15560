// The extraction run: open, read, write the curve list and curve files, close.
#ifndef WAVTREX_TOOL_EXTRACT_H
#define WAVTREX_TOOL_EXTRACT_H

#include <string>

#include "curve_request.h"

// Runs one conversion. Prints its own messages; returns false on failure.
bool extractCurves(const std::string& waveformPath, std::string baseFolder,
                   const CurveRequestMap& requests, bool listOnly, bool convertAll);

#endif
