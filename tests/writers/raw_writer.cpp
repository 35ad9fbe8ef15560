#include "raw_writer.h"

#include <cstdio>
#include <cstring>

namespace writers {

namespace {

enum class Width { f32, f64, c128 };

bool hasFlag(const RawPlot& p, const char* word) {
    return (" " + p.flags + " ").find(std::string(" ") + word + " ") != std::string::npos;
}

std::vector<Width> widthsOf(const RawFile& f, const RawPlot& p) {
    const bool complex = hasFlag(p, "complex");
    std::vector<Width> w(p.variables.size(), complex ? Width::c128 : Width::f64);
    if (f.simulator == RawSimulator::ltspice && !complex && !hasFlag(p, "double")) {
        for (size_t v = 1; v < w.size(); ++v) w[v] = Width::f32;
    }
    if (f.simulator == RawSimulator::qspice && complex && !w.empty()) w[0] = Width::f64;
    return w;
}

void put(std::string& out, const void* p, size_t n) {
    out.append(static_cast<const char*>(p), n);
}

void putValue(std::string& out, Width w, double re, double im) {
    if (w == Width::f32) {
        const auto f = static_cast<float>(re);
        put(out, &f, 4);
        return;
    }
    put(out, &re, 8);
    if (w == Width::c128) put(out, &im, 8);
}

std::string number(const RawFile& f, double v) {
    char text[40];
    if (f.simulator != RawSimulator::ltspice) {
        std::snprintf(text, sizeof text, "%.17g", v);
        return text;
    }
    // Older LTspice files: three exponent digits.
    std::snprintf(text, sizeof text, "%.16e", v);
    std::string s = text;
    size_t e = s.find('e');
    if (e != std::string::npos && s.size() - e == 4) s.insert(e + 2, "0");
    return s;
}

std::string header(const RawFile& f, const RawPlot& p, bool first, int64_t points) {
    const char* names[] = {"ngspice-36", "LTspice XVII", "Xyce 7.6", "QSPICE64"};
    std::string h;
    if (first || f.simulator != RawSimulator::xyce) {
        h += "Title: " + f.title + "\n";
        h += "Date: " + f.date + "\n";
    }
    h += "Plotname: " + p.name + "\n";
    h += "Flags: " + p.flags + "\n";
    // Counts right-aligned, as some simulators pad them.
    h += "No. Variables: " + std::to_string(p.variables.size()) + "\n";
    h += "No. Points: " + std::string(8, ' ') + std::to_string(points) + "\n";
    if (f.command && (first || f.simulator != RawSimulator::xyce))
        h += "Command: " + std::string(names[static_cast<int>(f.simulator)]) + "\n";
    for (const std::string& line : p.extraLines) h += line + "\n";
    h += "Variables:\n";
    for (size_t v = 0; v < p.variables.size(); ++v) {
        h += "\t" + std::to_string(v) + "\t" + p.variables[v].first + "\t" + p.variables[v].second +
             "\n";
    }
    h += f.binary ? "Binary:\n" : "Values:\n";
    return h;
}

std::string utf16(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

std::string buildRawFile(const RawFile& f) {
    std::string out;
    for (size_t i = 0; i < f.plots.size(); ++i) {
        const RawPlot& p = f.plots[i];
        const bool complex = hasFlag(p, "complex");
        const size_t n = p.variables.size();
        const size_t perPoint = n * (complex ? 2 : 1);
        const size_t points = perPoint > 0 ? p.values.size() / perPoint : 0;
        const int64_t declared = p.declaredPoints >= 0 ? p.declaredPoints : int64_t(points);
        const std::string h = header(f, p, i == 0, declared);
        out += f.binary && f.simulator == RawSimulator::ltspice ? utf16(h) : h;
        auto re = [&](size_t k, size_t v) {
            return p.values[k * perPoint + v * (complex ? 2 : 1)];
        };
        auto im = [&](size_t k, size_t v) {
            return complex ? p.values[k * perPoint + v * 2 + 1] : 0.0;
        };
        if (f.binary) {
            const std::vector<Width> w = widthsOf(f, p);
            if (hasFlag(p, "fastaccess")) {
                for (size_t v = 0; v < n; ++v)
                    for (size_t k = 0; k < points; ++k) putValue(out, w[v], re(k, v), im(k, v));
            } else {
                for (size_t k = 0; k < points; ++k)
                    for (size_t v = 0; v < n; ++v) putValue(out, w[v], re(k, v), im(k, v));
            }
            continue;
        }
        const bool lt = f.simulator == RawSimulator::ltspice;
        const std::string eol = lt ? "\r\n" : "\n";
        const std::string comma = f.simulator == RawSimulator::xyce ? ", " : ",";
        for (size_t k = 0; k < points; ++k) {
            for (size_t v = 0; v < n; ++v) {
                out += v == 0 ? std::to_string(k) + (lt ? "\t\t" : "\t") : "\t";
                out += number(f, re(k, v));
                if (complex) out += comma + number(f, im(k, v));
                out += eol;
            }
            if (f.simulator == RawSimulator::xyce) out += "\n";
        }
    }
    return out + f.trailing;
}

}  // namespace writers
