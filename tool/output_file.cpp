// Temporary output files and their placing; see output_file.h.
#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr std::string_view kPrefix = ".wavtrex-";
constexpr std::string_view kSuffix = ".tmp";

unsigned long processId() {
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

bool processExists(unsigned long id) {
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) != 0 && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    // Another user's process answers "not permitted": it exists.
    return id > 0 && id <= INT32_MAX && (kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM);
#endif
}

// The process id in a temporary's file name, or 0 when the name is not one.
unsigned long ownerOf(std::string_view name) {
    if (name.size() <= kPrefix.size() + kSuffix.size() ||
        name.substr(0, kPrefix.size()) != kPrefix ||
        name.substr(name.size() - kSuffix.size()) != kSuffix)
        return 0;
    name = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    unsigned long id = 0;
    bool dash = false;
    bool digits = false;
    for (const char c : name) {
        if (c == '-' && digits && !dash) {
            dash = true;
            digits = false;
        } else if (c >= '0' && c <= '9') {
            if (!dash) {
                if (id > 0xFFFFFFFFul / 10) return 0;
                id = id * 10 + static_cast<unsigned long>(c - '0');
            }
            digits = true;
        } else {
            return 0;
        }
    }
    return dash && digits ? id : 0;
}

// The folder part of path, separator included ("" for a bare name).
std::string folderOf(const std::string& path) {
#ifdef _WIN32
    const std::size_t end = path.find_last_of("/\\:");
#else
    const std::size_t end = path.rfind('/');
#endif
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

// Removes, once per folder and run, the temporaries that runs which no longer
// exist left there: a killed run's. Only regular files are removed.
void removeStaleTemporaries(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(folder).second) return;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const unsigned long owner = ownerOf(it->path().filename().string());
        if (owner == 0 || owner == processId() || processExists(owner)) continue;
        std::error_code ignored;
        if (fs::is_regular_file(it->symlink_status(ignored))) fs::remove(it->path(), ignored);
    }
}

}  // namespace

bool refusesOutput(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(fs::path(path), error);
    if (error) return false;
    if (fs::is_directory(status)) return true;
#ifndef _WIN32
    // Replacing needs only the folder's permission; a file its owner made
    // read-only stays protected, as it was when files were written in place.
    if (fs::is_regular_file(status) && access(path.c_str(), W_OK) != 0) return true;
#endif
    return false;
}

std::FILE* openTemporary(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned long> counter{0};
    const std::string folder = folderOf(path);
    removeStaleTemporaries(folder);
    // A name left by an earlier process of the same id is skipped, not reused.
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder;
        temporary += kPrefix;
        temporary += std::to_string(processId()) + "-" + std::to_string(++counter);
        temporary += kSuffix;
#ifdef _WIN32
        const int fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT,
                             _S_IREAD | _S_IWRITE);
#else
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) break;
#ifdef _WIN32
        std::FILE* file = _fdopen(fd, "w");
#else
        std::FILE* file = fdopen(fd, "w");
#endif
        if (file != nullptr) return file;
        const int reason = errno;
#ifdef _WIN32
        _close(fd);
#else
        close(fd);
#endif
        removeTemporary(temporary);
        errno = reason;
        break;
    }
    temporary.clear();
    return nullptr;
}

std::error_code placeTemporary(const std::string& temporary, const std::string& path,
                               bool* vanished) {
#ifdef _WIN32
    // A plain rename refuses an existing target on Windows.
    if (MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return {};
    // As a portable code where there is one, so its words read as elsewhere.
    const std::error_condition failed =
        std::system_category().default_error_condition(static_cast<int>(GetLastError()));
    const std::error_code error(failed.value(), failed.category());
#else
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return {};
    const std::error_code error(errno, std::generic_category());
#endif
    // The temporary itself tells a vanished file from a refused name: the
    // systems' codes overlap (Windows reports a name too long as a path not
    // found).
    std::error_code ignored;
    *vanished = !std::filesystem::exists(std::filesystem::symlink_status(temporary, ignored));
    return error;
}

void removeTemporary(const std::string& temporary) {
    if (!temporary.empty()) std::remove(temporary.c_str());
}
