// The application main: tells the argument forms apart and runs the conversion.
#include "driver.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "config.h"
#include "extract.h"
#include "version.h"
#include "version_info.h"

namespace {

bool endsWithTcc(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".tcc") == 0;
}

}  // namespace

void printVersionBanner() {
    const VersionInfo info = readVersionInfo();
    std::printf("%s Version %s, built on %s, %s\n", info.internalName.c_str(),
                info.productVersion.c_str(), __DATE__, __TIME__);
    std::printf("%s %s\n", info.legalCopyright.c_str(), kRightsReserved);
    std::fflush(stdout);
}

void runConversion(int argc, char** argv) {
    std::string waveformPath;
    std::string baseFolder;
    CurveRequestMap requests;
    bool listOnly = false;
    bool convertAll = false;

    if (argc == 2) {
        waveformPath = argv[1];
        const std::string configPath = waveformPath;
        if (!configPath.empty()) {
            if (endsWithTcc(configPath)) {
                if (!parseConversionConfig(configPath, waveformPath, baseFolder, requests)) {
                    std::cerr << "Unable to parse configuration file, exiting." << std::endl;
                    return;
                }
            } else {
                convertAll = true;
            }
        }
    } else if (argc == 3 && std::string(argv[1]) == "-t") {
        listOnly = true;
        waveformPath = argv[2];
    } else {
        std::cerr << "Usage: " << (argc > 0 && argv[0] != nullptr ? argv[0] : "")
                  << " <tcc file> | [-t] <tr0 file>" << std::endl;
        return;
    }

    if (!extractCurves(waveformPath, baseFolder, requests, listOnly, convertAll)) {
        std::cerr << "Unable to complete conversion." << std::endl;
    }
}
