// Generates CSDF text waveform files for the tests and the fuzz seeds.
//
// Layout written (every line ends in a blank before its line break, because
// the reader's tokens are separated by blanks only and a bare line break would
// glue two items together):
//
//   #H
//   SOURCE='wavtrex' VERSION='<version>'
//   TITLE='<title>'
//   DATE='<date>'
//   ANALYSIS='<analysis>' SERIALNO='1'
//   SWEEPVAR='<sweepVar>' XBEGIN='<first x>' XEND='<last x>'
//   COMPLEXVALUES='<complexValues>'        (omitted when complexValues is empty)
//   NODES='<number of nodes>'
//   #N '<node 0>' '<node 1>' ...
//   #C <x> <number of nodes>
//   <value> <value> ...                    (complex values as re/im)
//   #;
//
// A file with more than one sweep repeats the whole section, header and node
// list included, once per sweep. Keep swept node lists short: the reader skips
// to the next "#N" line piece (255 characters) and reads the data after it.
// A key that is empty in CsdfFile is omitted.
#ifndef WAVTREX_TESTS_CSDF_WRITER_H
#define WAVTREX_TESTS_CSDF_WRITER_H

#include <cstddef>
#include <string>
#include <vector>

namespace writers {

struct CsdfPoint {
    double x = 0;
    std::vector<double> real;  // one per node
    std::vector<double> imag;  // one per node when the file is complex; else empty
};

struct CsdfFile {
    std::string version = "2001.2";
    std::string title = "* generated circuit";
    std::string date = "12/06/2026 10:00:00";
    std::string analysis = "TR";
    std::string sweepVar = "TIME";
    std::string complexValues = "NO";  // anything but "NO" writes re/im values
    std::vector<std::string> nodes;
    std::vector<std::vector<CsdfPoint>> sweeps{{}};  // more than one: a swept file
};

// The file's text. Numbers are written with 9 significant digits, so every
// 32-bit float reads back exactly.
std::string csdfText(const CsdfFile& file);

// Writes bytes to path, gzip-compressed when gzip is set, keeping only the
// first truncateAt bytes of the uncompressed text.
void writeCsdfBytes(const std::string& path, const std::string& bytes, bool gzip = false,
                    size_t truncateAt = std::string::npos);

// csdfText + writeCsdfBytes.
void writeCsdf(const std::string& path, const CsdfFile& file, bool gzip = false,
               size_t truncateAt = std::string::npos);

}  // namespace writers

#endif
