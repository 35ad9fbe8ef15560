// The banner's values; see version_info.h.
#include "version_info.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>
#else
#include "version.h"
#endif

#ifdef _WIN32

namespace {

// The path of the running program, however long.
std::string ownPath() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return "";
        if (length < path.size()) return std::string(path.data(), length);
        if (path.size() >= 32768) return "";
        path.resize(path.size() * 2);
    }
}

struct LanguageCodePage {
    WORD language;
    WORD codePage;
};

std::string queryString(std::vector<char>& block, const LanguageCodePage& page, const char* key) {
    char subBlock[64];
    std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\%s", page.language,
                  page.codePage, key);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), subBlock, &value, &length) || value == nullptr || length == 0)
        return "";
    // The length counts the terminating NUL.
    const char* text = static_cast<const char*>(value);
    return std::string(text, strnlen(text, length));
}

}  // namespace

VersionInfo readVersionInfo() {
    VersionInfo info;
    const std::string path = ownPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return info;
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return info;

    void* pages = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &pages, &length) ||
        pages == nullptr || length < sizeof(LanguageCodePage))
        return info;
    const LanguageCodePage first = *static_cast<const LanguageCodePage*>(pages);
    info.internalName = queryString(block, first, "InternalName");
    info.productVersion = queryString(block, first, "ProductVersion");
    info.legalCopyright = queryString(block, first, "LegalCopyright");
    return info;
}

#else

VersionInfo readVersionInfo() {
    return {kInternalName, kProductVersion, kLegalCopyright};
}

#endif
