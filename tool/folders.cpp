// Output folder operations; see folders.h.
#include "folders.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

constexpr std::size_t kMaxPathPart = 255;

}  // namespace

std::string cannotCreateLine(const std::string& path) {
    return "Cannot create " + path + " directory.";
}

std::string joinPath(const std::string& left, const std::string& right) {
    std::string joined;
    joined.reserve(left.size() + 1 + right.size());
    joined += left;
    joined += kPathSeparator;
    joined += right;
    return joined;
}

bool leavesFolder(const std::string& relative) {
    const std::filesystem::path path(relative);
#ifdef _WIN32
    if (path.has_root_path()) return true;
#endif
    for (const std::filesystem::path& part : path) {
        if (part == "..") return true;
    }
    return false;
}

bool createOutputFolder(const std::string& path) {
    if (makeOutputFolder(path)) return true;
    const std::string line = cannotCreateLine(path) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return false;
}

bool makeOutputFolder(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(fs::path(path), error);
    if (!error && fs::is_directory(status)) return true;
    // Only a path that does not exist is created; anything else in the way
    // (a file, an unreadable parent) is reported.
    if (status.type() == fs::file_type::not_found) {
        std::error_code createError;
        if (fs::create_directory(fs::path(path), createError) && !createError) return true;
    }
    return false;
}

std::string baseNameOf(const std::string& path) {
    std::size_t start = 0;
    const bool hasDrive =
        path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (hasDrive) start = 2;

    const std::size_t lastSeparator = path.find_last_of("/\\");
    std::size_t nameStart = start;
    if (lastSeparator != std::string::npos && lastSeparator >= start) {
        if (lastSeparator + 1 - start > kMaxPathPart) return "";
        nameStart = lastSeparator + 1;
    }
    std::size_t nameEnd = path.find_last_of('.');
    if (nameEnd == std::string::npos || nameEnd < nameStart) nameEnd = path.size();
    if (nameEnd - nameStart > kMaxPathPart || path.size() - nameEnd > kMaxPathPart) return "";
    return path.substr(nameStart, nameEnd - nameStart);
}
