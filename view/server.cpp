#include "server.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

namespace view {

namespace {

constexpr int kMaxColumns = 20000;
constexpr long kMaxBatchColumns = 50L * kMaxColumns;  // of all the curves of one request
constexpr const char* kCookie = "wavtrex_view";

// A request the server refuses with 400 and this reason; nothing changes.
struct BadRequest {
    std::string reason;
};

std::string param(const httplib::Request& req, const char* name) {
    if (!req.has_param(name)) throw BadRequest{std::string("missing parameter ") + name};
    return req.get_param_value(name);
}

long integer(const httplib::Request& req, const char* name, long lo, long hi) {
    const std::string text = param(req, name);
    long value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) {
        throw BadRequest{std::string("not an integer: ") + name};
    }
    if (value < lo || value > hi) throw BadRequest{std::string("out of range: ") + name};
    return value;
}

double number(const httplib::Request& req, const char* name) {
    const std::string text = param(req, name);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) {
        throw BadRequest{std::string("not a number: ") + name};
    }
    return value;
}

Part partParam(const httplib::Request& req) {
    Part part = Part::value;
    if (req.has_param("part") && !partFromName(req.get_param_value("part"), part)) {
        throw BadRequest{"unknown part"};
    }
    return part;
}

int signalParam(const httplib::Request& req, const Run& run, const char* name = "signal") {
    const std::string text = param(req, name);
    long value = -1;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || value < 0 ||
        value >= static_cast<long>(run.signals().size())) {
        throw BadRequest{"unknown signal"};
    }
    return static_cast<int>(value);
}

// The window asked for, or the curves' whole extent for a missing one.
void windowOf(const httplib::Request& req, const Curves& c, double& x0, double& x1) {
    x0 = INFINITY;
    x1 = -INFINITY;
    for (const Series& s : c.sweeps) {
        if (s.x->empty()) continue;
        x0 = std::min(x0, s.x->front());
        x1 = std::max(x1, s.x->back());
    }
    if (x0 > x1) x0 = x1 = 0;
    if (req.has_param("x0") || req.has_param("x1")) {
        x0 = number(req, "x0");
        x1 = number(req, "x1");
        if (x0 > x1) throw BadRequest{"inverted window"};
    }
}

template <typename T, typename F>
std::string list(const std::vector<T>& items, F field) {
    std::string j = "[";
    for (size_t i = 0; i < items.size(); ++i) j += (i ? "," : "") + field(items[i]);
    return j + "]";
}

std::string sweepEnvelope(Curves& c, size_t sweep, double x0, double x1, int columns, bool log) {
    const Series& s = c.sweeps[sweep];
    const Envelope e = envelope(s, c.pyramid(sweep), x0, x1, columns, log);
    if (e.raw) {
        return "{\"raw\":true,\"x\":" +
               list(e.rawIndex, [&](size_t i) { return jsonNumber((*s.x)[i]); }) +
               ",\"y\":" + list(e.rawIndex, [&](size_t i) { return jsonNumber(s.y[i]); }) + "}";
    }
    auto field = [&](auto get) {
        return list(e.columns, [&](const Column& col) { return col.count ? get(col) : "null"; });
    };
    return "{\"raw\":false,\"count\":" +
           list(e.columns, [](const Column& col) { return std::to_string(col.count); }) +
           ",\"min\":" + field([](const Column& col) { return jsonNumber(col.min); }) +
           ",\"max\":" + field([](const Column& col) { return jsonNumber(col.max); }) +
           ",\"first\":" + field([](const Column& col) { return jsonNumber(col.first); }) +
           ",\"last\":" + field([](const Column& col) { return jsonNumber(col.last); }) +
           ",\"firstX\":" + field([](const Column& col) { return jsonNumber(col.firstX); }) +
           ",\"lastX\":" + field([](const Column& col) { return jsonNumber(col.lastX); }) + "}";
}

std::string envelopeJson(const httplib::Request& req, Curves& c) {
    const int columns = static_cast<int>(integer(req, "columns", 1, kMaxColumns));
    double x0 = 0, x1 = 0;
    windowOf(req, c, x0, x1);
    const bool log = req.get_param_value("log") == "1";
    if (log && !(x0 > 0)) throw BadRequest{"a log axis needs a window above 0"};
    std::string j = "{\"x0\":" + jsonNumber(x0) + ",\"x1\":" + jsonNumber(x1) + ",\"sweeps\":[";
    for (size_t s = 0; s < c.sweeps.size(); ++s) {
        j += (s ? "," : "") + sweepEnvelope(c, s, x0, x1, columns, log);
    }
    return j + "]}";
}

// The samples on each side of x (one of them at x when a sample lies there).
std::string valueJson(const httplib::Request& req, const Curves& c) {
    const double x = number(req, "x");
    return "{\"sweeps\":" +
           list(c.sweeps,
                [&](const Series& s) {
                    const std::vector<double>& t = *s.x;
                    const size_t i =
                        static_cast<size_t>(std::lower_bound(t.begin(), t.end(), x) - t.begin());
                    auto point = [&](size_t k) {
                        return "[" + jsonNumber(t[k]) + "," + jsonNumber(s.y[k]) + "]";
                    };
                    const bool at = i < t.size() && t[i] == x;
                    return "{\"before\":" +
                           (at      ? point(i)
                            : i > 0 ? point(i - 1)
                                    : "null") +
                           ",\"after\":" + (i < t.size() ? point(i) : "null") + "}";
                }) +
           "}";
}

// The file's own samples in the window: one line per sample of each signal.
std::string csvText(const httplib::Request& req, Run& run, Part part) {
    std::vector<int> signals;
    std::stringstream names(param(req, "signals"));
    for (std::string item; std::getline(names, item, ',');) {
        httplib::Request one;
        one.params.emplace("signal", item);
        signals.push_back(signalParam(one, run));
    }
    const double x0 = number(req, "x0"), x1 = number(req, "x1");
    if (x0 > x1) throw BadRequest{"inverted window"};
    std::string text = "signal,sweep,x,value\n";
    for (const int signal : signals) {
        std::string reason;
        Curves* c = run.curves(signal, part, reason);
        if (c == nullptr) throw BadRequest{reason};
        const std::string name = jsonString(run.signals()[static_cast<size_t>(signal)].name);
        for (size_t s = 0; s < c->sweeps.size(); ++s) {
            size_t begin = 0, end = 0;
            windowIndices(*c->sweeps[s].x, x0, x1, begin, end);
            for (size_t i = begin; i < end; ++i) {
                text += name + "," + std::to_string(s) + "," + jsonNumber((*c->sweeps[s].x)[i]) +
                        "," + jsonNumber(c->sweeps[s].y[i]) + "\n";
            }
        }
    }
    return text;
}

std::string cookieValue(const std::string& header, const std::string& name) {
    std::stringstream items(header);
    for (std::string item; std::getline(items, item, ';');) {
        const size_t start = item.find_first_not_of(' ');
        if (start != std::string::npos && item.compare(start, name.size() + 1, name + "=") == 0) {
            return item.substr(start + name.size() + 1);
        }
    }
    return "";
}

Curves& curvesOf(const httplib::Request& req, Run& run, Part part) {
    std::string reason;
    Curves* c = run.curves(signalParam(req, run), part, reason);
    if (c == nullptr) throw BadRequest{reason};
    return *c;
}

void fail(httplib::Response& res, int status, const std::string& reason) {
    res.status = status;
    res.set_content("{\"error\": " + jsonString(reason) + "}", "application/json");
}

}  // namespace

Server::Server(Options options, std::string token)
    : options_(std::move(options)),
      token_(std::move(token)),
      http_(std::make_unique<httplib::Server>()) {
    // A file of several plots (SPICE raw, CSDF) is one run per plot.
    for (const std::string& file : options_.files) {
        auto run = std::make_unique<Run>(file);
        run->open();
        const int plots = run->plotCount();
        if (plots < 2) runs_.push_back(std::move(run));
        for (int p = 0; plots > 1 && p < plots; ++p) {
            runs_.push_back(std::make_unique<Run>(file, p));
            runs_.back()->open();
        }
    }
    if (!options_.viewFile.empty()) {
        std::ifstream in(options_.viewFile);
        std::stringstream text;
        text << in.rdbuf();
        savedView_ = text.str();
    }
    routes();
}

Server::~Server() = default;

int Server::bind() {
    if (options_.port == 0) {
        port_ = http_->bind_to_any_port(options_.host);
    } else {
        port_ = http_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
    }
    return port_;
}

void Server::serve() {
    http_->listen_after_bind();
}
void Server::stop() {
    http_->stop();
}

std::string Server::reopenChanged() {
    std::vector<int> reopened;
    for (size_t i = 0; i < runs_.size(); ++i) {
        const std::lock_guard<std::mutex> hold(runs_[i]->lock);
        if (runs_[i]->changed()) {
            runs_[i]->open();
            reopened.push_back(static_cast<int>(i));
        }
    }
    return list(reopened, [](int i) { return std::to_string(i); });
}

// DNS rebinding: the Host must name the bound address; then the token, in
// the query (the printed URL) or in the cookie the page got.
bool Server::allowed(const std::string& host, const std::string& token,
                     const std::string& cookie) const {
    const std::string port = ":" + std::to_string(port_);
    const bool loopback = options_.host == "127.0.0.1";
    if (host != options_.host + port && !(loopback && host == "localhost" + port)) return false;
    return token == token_ || cookieValue(cookie, kCookie) == token_;
}

void Server::routes() {
    // The page's requests are small and many: no Nagle delay on the replies,
    // and the browser's few connections are kept.
    http_->set_tcp_nodelay(true);
    http_->set_keep_alive_max_count(1000);
    guardRoutes();
    pageRoutes();
    curveRoutes();
}

// Every request passes the Host and token check first. Answers go out
// uncompressed: cpp-httplib would compress each with brotli at its highest
// quality, 150 ms for an envelope of 1,000 columns and half a second for
// uPlot, where the loopback carries them in a millisecond. The request is
// the server's own object, handed over as const.
void Server::guardRoutes() {
    http_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
        const std::string token = req.get_param_value("token");
        if (!allowed(req.get_header_value("Host"), token, req.get_header_value("Cookie"))) {
            fail(res, 403, "this page needs the address the program printed");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (token == token_) {
            res.set_header("Set-Cookie", std::string(kCookie) + "=" + token_ +
                                             "; Path=/; HttpOnly; SameSite=Strict");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

// The embedded page, the files' descriptions and the reload.
void Server::pageRoutes() {
    for (unsigned long i = 0; i < kAssetCount; ++i) {
        const Asset& a = kAssets[i];
        http_->Get(a.path, [&a](const httplib::Request&, httplib::Response& res) {
            res.set_content(reinterpret_cast<const char*>(a.data), a.size, a.type);
        });
    }
    http_->Get("/favicon.ico",
               [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    http_->Get("/api/files", [this](const httplib::Request&, httplib::Response& res) {
        std::string j = "{\"watch\": " + std::string(options_.watch ? "true" : "false") +
                        ", \"view\": " + (savedView_.empty() ? "null" : jsonString(savedView_)) +
                        ", \"signals\": " + list(options_.signals, jsonString) + ", \"files\": [";
        for (size_t i = 0; i < runs_.size(); ++i) {
            const std::lock_guard<std::mutex> hold(runs_[i]->lock);
            j += (i ? ", " : "") + runs_[i]->describe(static_cast<int>(i));
        }
        res.set_content(j + "]}", "application/json");
    });
    http_->Post("/api/reload", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content("{\"reopened\": " + reopenChanged() + "}", "application/json");
    });
}

// A run by its place on the command line.
Run& Server::runOf(const httplib::Request& req) {
    return *runs_.at(
        static_cast<size_t>(integer(req, "file", 0, static_cast<long>(runs_.size()) - 1)));
}

// Several curves over one window in one answer, so a redraw of every panel
// is one round trip: "curves" lists file.signal.part items.
std::string Server::envelopesJson(const httplib::Request& req) {
    const std::string curves = param(req, "curves");
    const long count = static_cast<long>(std::count(curves.begin(), curves.end(), ',')) + 1;
    if (count * integer(req, "columns", 1, kMaxColumns) > kMaxBatchColumns) {
        throw BadRequest{"too many curves for the columns"};
    }
    std::string j = "{\"envelopes\":[";
    std::stringstream items(curves);
    for (std::string item; std::getline(items, item, ',');) {
        httplib::Request one;
        one.params = req.params;
        std::stringstream fields(item);
        for (const char* name : {"file", "signal", "part"}) {
            std::string value;
            std::getline(fields, value, '.');
            one.params.erase(name);
            one.params.emplace(name, value);
        }
        Run& run = runOf(one);
        const std::lock_guard<std::mutex> hold(run.lock);
        j += (j.back() == '[' ? "" : ",") + envelopeJson(one, curvesOf(one, run, partParam(one)));
    }
    return j + "]}";
}

// The answers about one file's curves, addressed by its place on the command line.
void Server::curveRoutes() {
    auto curvesRoute = [this](const char* path, auto answer) {
        http_->Get(path, [this, answer](const httplib::Request& req, httplib::Response& res) {
            try {
                Run& run = runOf(req);
                const std::lock_guard<std::mutex> hold(run.lock);
                answer(req, res, run, partParam(req));
            } catch (const BadRequest& bad) {
                fail(res, 400, bad.reason);
            }
        });
    };
    curvesRoute("/api/envelope", [](const httplib::Request& req, httplib::Response& res, Run& run,
                                    Part part) {
        res.set_content(envelopeJson(req, curvesOf(req, run, part)), "application/json");
    });
    http_->Get("/api/envelopes", [this](const httplib::Request& req, httplib::Response& res) {
        try {
            res.set_content(envelopesJson(req), "application/json");
        } catch (const BadRequest& bad) {
            fail(res, 400, bad.reason);
        }
    });
    curvesRoute("/api/value",
                [](const httplib::Request& req, httplib::Response& res, Run& run, Part part) {
                    res.set_content(valueJson(req, curvesOf(req, run, part)), "application/json");
                });
    curvesRoute("/api/csv",
                [](const httplib::Request& req, httplib::Response& res, Run& run, Part part) {
                    res.set_content(csvText(req, run, part), "text/csv");
                    res.set_header("Content-Disposition", "attachment; filename=\"window.csv\"");
                });
}

}  // namespace view
