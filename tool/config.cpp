// The conversion configuration parser; see config.h.
#include "config.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "folders.h"

namespace {

constexpr std::size_t kMaxLineLength = 2047;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads the next line without its line end into line. Returns false at the
// end of the file and when the line is longer than kMaxLineLength (the
// reading ends there, so nothing beyond the limit is kept).
bool readLine(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::getc(file);
    if (c == EOF) return false;
    while (c != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
        // One character of slack for a carriage return the line end may carry.
        if (line.size() > kMaxLineLength + 1) return false;
        c = std::getc(file);
    }
    // Lines ending in CR LF read the same on every platform.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line.size() <= kMaxLineLength;
}

// The text between the first double quote at or after the end of the first
// `attribute` found from position `from`, and the next double quote. Returns
// false when the attribute or either quote is missing.
bool findValue(const std::string& line, std::size_t from, const char* attribute,
               std::string& value) {
    const std::size_t name = line.find(attribute, from);
    if (name == std::string::npos) return false;
    const std::size_t open = line.find('"', name + std::strlen(attribute));
    if (open == std::string::npos) return false;
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return false;
    value = line.substr(open + 1, close - open - 1);
    return true;
}

// Position right after the first `tag` in line, or npos.
std::size_t after(const std::string& line, const char* tag) {
    const std::size_t at = line.find(tag);
    return at == std::string::npos ? at : at + std::strlen(tag);
}

}  // namespace

bool parseConversionConfig(const std::string& configPath, std::string& waveformPath,
                           std::string& baseFolder, CurveRequestMap& requests) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(configPath.c_str(), "r"));
    if (!file) return true;

    std::string subFolder;
    std::string line;
    std::string value;
    while (readLine(file.get(), line)) {
        // Each element is looked for once per line, always in this order,
        // whatever order the elements stand in on the line.
        std::size_t at = after(line, "<CurveExtraction");
        if (at != std::string::npos && findValue(line, at, "FileName", value)) {
            waveformPath = value;
            baseFolder = baseNameOf(value);
            if (!createOutputFolder(baseFolder)) return false;
        }
        at = after(line, "<VoltageCurveList");
        if (at != std::string::npos && findValue(line, at, "OutputSubFolder", value)) {
            subFolder = value;
            if (!createOutputFolder(joinPath(baseFolder, subFolder))) return false;
        }
        if (line.find("</VoltageCurveList>") != std::string::npos) subFolder.clear();

        // "<Curve" also matches inside "<CurveExtraction".
        at = after(line, "<Curve");
        if (at == std::string::npos) continue;
        std::string node;
        std::string folder = ".";
        std::string curveFileName;
        if (findValue(line, at, "Node", value)) node = value;
        if (findValue(line, at, "CurveFileName", value)) {
            if (!subFolder.empty()) folder = subFolder;
            curveFileName = value;
        }
        if (!node.empty() && !curveFileName.empty()) {
            // A multimap insert goes after the entries with the same node.
            requests.insert({node, CurveRequest{folder, curveFileName}});
        }
    }
    return true;
}
