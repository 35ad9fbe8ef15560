// Output files that appear under their names only once complete.
//
// A curve file or curve list is written to a temporary file in its own
// folder, named ".wavtrex-<process id>-<number>.tmp", and renamed over its
// name after its last byte is written and the close checked. A run that is
// killed leaves only such temporaries, never a cut file under a curve's name;
// the next run into that folder removes the temporaries of processes that no
// longer exist (those of a run still going are kept). The rename replaces
// whatever stands at the name, a link included, so a link is never written
// through; of two runs into one folder, each file is whole and the later
// rename wins.
#ifndef WAVTREX_TOOL_OUTPUT_FILE_H
#define WAVTREX_TOOL_OUTPUT_FILE_H

#include <cstdio>
#include <string>
#include <system_error>

// True when path holds something the run must not replace: a folder, or a
// file its owner protected from writing.
bool refusesOutput(const std::string& path);

// Creates a new temporary file beside path for writing in text mode and
// stores its name in temporary. Returns null (errno set) when it cannot.
std::FILE* openTemporary(const std::string& path, std::string& temporary);

// Renames the closed temporary over path. Returns the rename's failure as the
// system gave it, if any, and then sets *vanished: true when the temporary (or
// its folder) is gone, false when path refuses it.
std::error_code placeTemporary(const std::string& temporary, const std::string& path,
                               bool* vanished);

// Removes a temporary that will not be placed; nothing when empty.
void removeTemporary(const std::string& temporary);

#endif
