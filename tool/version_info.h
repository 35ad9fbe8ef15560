// The values the version banner shows.
#ifndef WAVTREX_TOOL_VERSION_INFO_H
#define WAVTREX_TOOL_VERSION_INFO_H

#include <string>

struct VersionInfo {
    std::string internalName;
    std::string productVersion;
    std::string legalCopyright;
};

// On Windows, the running program's version resource, read under the first
// language and code page it lists; a value it lacks is "". Elsewhere the same
// values, fixed at build time.
VersionInfo readVersionInfo();

#endif
