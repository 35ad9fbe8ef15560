// Writes the seed corpus of every fuzz target: one folder per target under
// the folder named first on the command line, each file one small valid (or
// nearly valid) waveform file, plus gzip-compressed copies of some of them.
// Binary formats come from the project's test-file writers; text formats are
// the files of the folder named second (fuzz/seeds: CSDF, measurement tables,
// Xyce and PSpice CSDF), read as they are.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "event_writer.h"
#include "post_writer.h"
#include "raw_writer.h"

namespace {

using Bytes = std::string;

// f with the seeds' signals and tables: one, or two when swept, of three rows.
// An edge file's last independent value is just below the end marker, and the
// file ends inside that row, without the marker.
Bytes postFile(writers::PostFile f, bool edge = false) {
    f.axisName = f.axisTypeCode == 2 ? "HERTZ" : "TIME";
    f.signals = {{"v(in)"}, {"v(out)"}, {"i(vdd)", 8}, {"p1", 9, true}};
    size_t width = writers::postRowWidth(f);
    size_t tables = f.sweepNames.empty() ? 1 : 2;
    size_t params = f.sweepNames.size() > 1 ? f.sweepNames.size() - 1 : f.sweepNames.size();
    for (size_t t = 0; t < tables; ++t) {
        writers::PostTable table;
        for (size_t k = 0; k < params; ++k)
            table.params.push_back(25.0 + static_cast<double>(t + k));
        for (int row = 0; row < 3; ++row) {
            table.values.push_back(edge && row == 2 && t + 1 == tables ? 9.999e29 : row * 1e-9);
            for (size_t k = 1; k < width; ++k)
                table.values.push_back(0.5 * row + static_cast<double>(k));
        }
        f.tables.push_back(table);
    }
    if (edge) {
        f.tables.back().marker = false;
        f.tables.back().values.resize(f.tables.back().values.size() - 2);
    }
    return writers::buildPostFile(f);
}

Bytes framedEvent(bool big, size_t blockSize) {
    writers::FramedHeader header;
    header.extras = {"extra"};
    header.signals = {
        {true, 0, 0, "clk"}, {true, 0, 0, "data"}, {false, 7, 3, "out"}, {false, 9, 0, "  q  "}};
    writers::Words data(big);
    for (int r = 0; r < 4; ++r) {
        float t = static_cast<float>(r) * 1e-9f;
        data.record(writers::kFramedGroup,
                    {static_cast<float>(r & 1), 1.0f - static_cast<float>(r & 1), t});
        // Bit 28 of a single record's tag is ignored.
        data.record(r == 2 ? 0x10000007u : 7u, {0.25f * static_cast<float>(r), 1.5f * t});
        data.record(9, {3.3f, 2.0f * t});
    }
    return writers::framedFile(header, data.uint32(writers::kFramedEnd), blockSize);
}

Bytes taggedRecord(bool big, size_t blockSize, int params, int sweeps, int analysis) {
    writers::TaggedHeader header;
    header.sweepCount = sweeps;
    for (int k = 0; k < params; ++k) header.sweepParameters.push_back("p" + std::to_string(k));
    header.axisType = analysis;
    header.signals = {{1, 1, "top.v(in)"}, {4, 8, "top.x1.i(vdd)"}, {2, 23, "top.q"}};
    header.scopes = {{0x11, "top."},
                     {writers::kTaggedScopeWithoutText, ""},
                     {0x22, "top.x1."},
                     {0x33, "top.x1.x2."}};
    writers::Words data(big);
    bool complex = analysis == 2;  // type codes 1 and 8 under AC are complex
    for (int s = 0; s < (sweeps > 0 ? sweeps : 1); ++s) {
        for (int k = 0; k < params; ++k) data.float32(25.0f + static_cast<float>(s + k));
        data.uint32(writers::kTaggedTime).float64(1e-9 * s).record(1, {1e-9f, 0.5f});
        if (complex) {
            data.float32(0.1f).record(writers::kTaggedGroup | 3, {2e-9f, 1, -1, 2, -2, 3});
        } else {
            data.record(writers::kTaggedGroup | 3, {2e-9f, 1, 2, 3});
        }
        data.record(writers::kTaggedGroup | 1, {1e-9f}).record(2, {4});
        data.uint32(0x80000000u).record(4, {1e-9f, 5});  // a tag without payload, a value
        if (complex) data.float32(0.5f);
        data.uint32(writers::kTaggedSweepEnd);
    }
    return writers::taggedFile(header, data, blockSize);
}

// Raw files of every simulator's layout: two plots of three points each,
// or one plot whose two steps are the halves of its points.
Bytes rawFile(writers::RawSimulator simulator, bool binary, const std::string& flags) {
    writers::RawFile f;
    f.simulator = simulator;
    f.binary = binary;
    const bool complex = flags.find("complex") != std::string::npos;
    const bool stepped = flags.find("stepped") != std::string::npos;
    writers::RawPlot plot;
    plot.name = complex ? "AC Analysis" : "Transient Analysis";
    plot.flags = flags;
    plot.variables = {{complex ? "frequency" : "time", complex ? "frequency" : "time"},
                      {"V(out)", "voltage"},
                      {"I(V1)", "current"}};
    for (int p = 0; p < (stepped ? 6 : 3); ++p) {
        for (int v = 0; v < 3; ++v) {
            plot.values.push_back(v == 0 ? (p % 3) * (complex ? 1e3 : -1e-9) : 0.5 * p + v);
            if (complex) plot.values.push_back(v == 0 ? 0.0 : -0.25 * v);
        }
    }
    plot.extraLines = {".param rl=1k"};
    f.plots = {plot};
    if (!stepped) {
        plot.extraLines = {".param rl=2k"};
        f.plots.push_back(plot);
    }
    f.trailing = binary ? "" : "trailing text\n";
    return writers::buildRawFile(f);
}

// An ngspice batch run: an operating point, an AC and a transient plot
// whose float64 times lie a picosecond apart at 1 ms.
Bytes batchRaw(bool binary) {
    writers::RawFile f;
    f.binary = binary;
    writers::RawPlot op{"Operating Point", "real", {{"V(out)", "voltage"}, {"I(V1)", "current"}},
                        {2.5, -1e-3},      -1,     {}};
    writers::RawPlot tran{
        "Transient Analysis", "real", {{"time", "time"}, {"V(out)", "voltage"}}, {}, -1, {}};
    for (int k = 0; k < 3; ++k) {
        tran.values.push_back(1e-3 + k * 1e-12);
        tran.values.push_back(1.0 / 3 + k);
    }
    writers::RawPlot acPlot{"AC Analysis",
                            "complex",
                            {{"frequency", "frequency"}, {"V(out)", "voltage"}},
                            {1, 0, 0.5, -0.25, 1e3, 0, 0.125, 2},
                            -1,
                            {}};
    f.plots = {op, acPlot, tran};
    return writers::buildRawFile(f);
}

// The seed files of every fuzz target; the open target gets each format's
// first files too.
std::map<std::string, std::vector<Bytes>> buildCorpus(const std::filesystem::path& text) {
    std::map<std::string, std::vector<Bytes>> c;
    auto add = [&c](const char* target, const Bytes& file, bool open) {
        c[target].push_back(file);
        if (open) c["open"].push_back(file);
    };
    auto textSeed = [&text](const char* target, const char* name) {
        Bytes bytes = writers::readBytes(text / target / name);
        if (bytes.empty())
            throw std::runtime_error("no text seed " + (text / target / name).string());
        return bytes;
    };
    // Post files: the first byte of a post_fuzzer input picks the version
    // (0 9601, 1 9007, 2 2001, 3 2013) with the mode left to detection.
    // Variants: 0 plain (and gzip), 1 text swept, 2 big-endian, 3 byte-framed,
    // 4 small blocks, 5 AC with a compound sweep, 6 the count escape, 7 CR LF
    // text of a DC sweep with line breaks in the title and the sweep count,
    // 8 big-endian AC swept in small blocks, an edge file.
    using writers::PostForm;
    const writers::PostVersion versions[] = {
        writers::PostVersion::v9601, writers::PostVersion::v9007, writers::PostVersion::v2001,
        writers::PostVersion::v2013};
    for (char selector = 0; selector < 4; ++selector) {
        for (int variant = 0; variant < 9; ++variant) {
            writers::PostFile p;
            p.version = versions[static_cast<int>(selector)];
            p.form = variant == 1 || variant == 7
                         ? PostForm::text
                         : (variant == 3 ? PostForm::byteFramed : PostForm::wordFramed);
            p.bigEndian = variant == 2 || variant == 8;
            p.blockSize = variant == 4 || variant == 8 ? 37 : 4000;
            p.axisTypeCode = variant == 5 || variant == 8 ? 2 : (variant == 7 ? 7 : 1);
            if (variant == 5 || variant == 8) p.sweepNames = {"tab", "w", "l"};
            if (variant == 1 || variant == 7) p.sweepNames = {"temper"};
            p.countEscape = variant == 6;
            Bytes file = postFile(p, variant == 8);
            if (variant == 7) {
                file.replace(184, 4, "2\n");
                file.insert(30, "\n");
                for (size_t at = 0; (at = file.find('\n', at)) != Bytes::npos; at += 2)
                    file.insert(at, "\r");
            }
            c["post"].push_back(Bytes(1, selector) + file);
            c["open"].push_back(file);
            if (variant == 0) c["open"].push_back(writers::gzipBytes(file));
        }
    }
    // Header blocks cut among the names, the data starting in the last of them.
    writers::PostFile split;
    split.headerBlockSize = 150;
    split.blockSize = 201;
    split.dataInNewBlock = false;
    c["post"].push_back(Bytes(1, 0) + postFile(split));
    c["open"].push_back(postFile(split));
    // CSDF: one section or three, real or complex; measurement tables: the
    // names on one line or two to a line, an $OPTION line.
    for (const char* name : {"transient.csdf", "ac.csdf", "transient-3.csdf", "ac-3.csdf"})
        add("csdf", textSeed("csdf", name), true);
    add("csdf", writers::gzipBytes(textSeed("csdf", "transient-2.csdf")), false);
    for (const char* name : {"one-line.mt0", "two-per-line.mt0", "option.mt0"})
        add("measure_table", textSeed("measure_table", name), false);
    add("measure_table", writers::gzipBytes(textSeed("measure_table", "option.mt0")), false);
    for (bool big : {false, true}) {
        for (size_t blockSize : {4096, 23}) add("framed_event", framedEvent(big, blockSize), true);
    }
    add("framed_event", writers::gzipBytes(framedEvent(false, 4096)), false);
    for (bool big : {false, true}) add("tagged_record", taggedRecord(big, 4096, 0, 0, 1), true);
    add("tagged_record", taggedRecord(false, 13, 1, 3, 1), false);
    add("tagged_record", taggedRecord(false, 4096, 2, 2, 2), false);
    add("tagged_record", writers::gzipBytes(taggedRecord(true, 64, 0, 0, 1)), false);
    using S = writers::RawSimulator;
    for (S sim : {S::ngspice, S::xyce, S::qspice, S::ltspice}) {
        for (bool binary : {true, false}) {
            add("spice_raw", rawFile(sim, binary, "real"), false);
            add("spice_raw", rawFile(sim, binary, "complex"), false);
        }
    }
    for (const char* flags :
         {"real stepped", "real fastaccess", "real stepped fastaccess", "real forward double"})
        add("spice_raw", rawFile(S::ltspice, true, flags), false);
    add("spice_raw", writers::gzipBytes(rawFile(S::ngspice, true, "real")), false);
    for (bool binary : {true, false}) add("spice_raw", batchRaw(binary), false);
    // Xyce and PSpice CSDF: two blocks of two points, PSpice's values one to a line.
    for (const char* name : {"xyce.csd", "xyce-ac.csd", "pspice.csd", "pspice-ac.csd"})
        add("csdf_dialect", textSeed("csdf_dialect", name), false);
    add("csdf_dialect", writers::gzipBytes(textSeed("csdf_dialect", "xyce.csd")), false);
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder> <text seed folder>\n");
        return 2;
    }
    for (const auto& [target, files] : buildCorpus(argv[2])) {
        std::filesystem::path folder = std::filesystem::path(argv[1]) / target;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        for (size_t n = 0; n < files.size(); ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "seed-%03zu", n);
            writers::writeBytes((folder / name).string(), files[n], false);  // throws on failure
        }
    }
    return 0;
}
