// The extraction run: open, read, write the curve list and curve files, close.
#ifndef WAVTREX_TOOL_EXTRACT_H
#define WAVTREX_TOOL_EXTRACT_H

#include <string>

#include "curve_request.h"

// Runs one conversion of waveformPath below baseFolder (derived from the
// waveform path when empty). Prints its own messages; returns false when the
// file cannot be opened or read, a folder cannot be made, or a requested
// signal was not written.
bool extractCurves(const std::string& waveformPath, std::string baseFolder,
                   const CurveRequestMap& requests, bool listOnly, bool convertAll);

// Compares the requests with what was written. Succeeds silently when there
// are no more requests than written curves (a count comparison only);
// otherwise prints "The following requested signals are not exported:" and
// every requested node that was never written, once per request, and fails.
bool reportMissingSignals(const CurveRequestMap& requests, const ExportedSignalSet& exported);

#endif
