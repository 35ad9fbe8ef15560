// Writes SPICE raw files as ngspice, LTspice, Xyce and QSPICE lay them out.
//   writers::RawFile f;                                   // ngspice, binary
//   f.plots = {{"Transient Analysis", "real", {{"time", "time"}, {"v(1)", "voltage"}},
//               {0.0, 1.0, 1e-9, 2.0}}};                  // two points
//   std::string bytes = writers::buildRawFile(f);
//
// Values are flat, point after point, each variable's value in turn (complex
// plots: its real and imaginary parts, the independent variable's too). The
// writer stores them in the simulator's widths and order.
#ifndef WAVTREX_TESTS_WRITERS_RAW_WRITER_H
#define WAVTREX_TESTS_WRITERS_RAW_WRITER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "file_bytes.h"

namespace writers {

enum class RawSimulator { ngspice, ltspice, xyce, qspice };

struct RawPlot {
    std::string name = "Transient Analysis";
    std::string flags = "real";  // "complex", "stepped", "fastaccess", "double", ...
    std::vector<std::pair<std::string, std::string>> variables;  // name, type
    std::vector<double> values;
    int64_t declaredPoints = -1;          // No. Points; -1: as many as values has
    std::vector<std::string> extraLines;  // more header lines, before Variables
};

struct RawFile {
    RawSimulator simulator = RawSimulator::ngspice;
    bool binary = true;
    bool command = true;  // a Command line names the simulator
    std::string title = "wavtrex test circuit";
    std::string date = "Mon Dec  7 03:20:59 2026";
    std::vector<RawPlot> plots;
    std::string trailing;  // text after the last plot's values
};

// The file's bytes. LTspice binary headers are UTF-16LE; Xyce starts every
// plot after the first at Plotname.
std::string buildRawFile(const RawFile& f);

}  // namespace writers

#endif
