// Process entry: "-v" prints the banner, no argument exits 1, anything else
// runs one conversion and exits 0 whatever its outcome.
#include <cstring>

#include "driver.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "-v") == 0) {
        printVersionBanner();
        return 0;
    }
    if (argc < 2) return 1;
    runConversion(argc, argv);
    return 0;
}
