// Output folder operations shared by the configuration parser and the run.
#ifndef WAVTREX_TOOL_FOLDERS_H
#define WAVTREX_TOOL_FOLDERS_H

#include <string>

// Output paths are joined with the platform's own separator.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// left + separator + right; no separator is added or removed otherwise.
std::string joinPath(const std::string& left, const std::string& right);

// True when relative, joined below a folder, would lead out of it: a ".."
// component, or on Windows a drive or root ("C:x", "\\x"). Both separators
// count on Windows, only "/" elsewhere.
bool leavesFolder(const std::string& relative);

// Makes sure path is a directory, creating one level if it does not exist.
// Returns false after printing "Cannot create <path> directory." on standard
// error when path exists as something else or cannot be created.
bool createOutputFolder(const std::string& path);
// createOutputFolder without the message, and the message itself.
bool makeOutputFolder(const std::string& path);
std::string cannotCreateLine(const std::string& path);

// The file name of path without drive, directory and extension. Both "/" and
// "\" end a directory on every platform. Returns "" when the drive exceeds 2
// characters or the directory, name or extension exceeds 255.
std::string baseNameOf(const std::string& path);

#endif
