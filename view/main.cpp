// wavtrex-view FILE... [--port N] [--host ADDRESS] [--open] [--watch]
//                      [--view SAVED.json] [--signals NAME...]
// Serves a page that plots the files' signals, for whoever has the printed URL.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "server.h"

namespace {

view::Server* running = nullptr;

void onSignal(int) {
    if (running != nullptr) running->stop();
}

int usage() {
    std::fprintf(stderr,
                 "usage: wavtrex-view FILE... [--port N] [--host ADDRESS] [--open] [--watch]\n"
                 "                    [--view SAVED.json] [--signals NAME...]\n");
    return 2;
}

// 128 random bits as hex.
std::string newToken() {
    std::random_device random;
    std::string token;
    char hex[9];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random()));
        token += hex;
    }
    return token;
}

bool parse(int argc, char** argv, view::Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--port" && more) {
            o.port = std::atoi(argv[++i]);
        } else if (a == "--host" && more) {
            o.host = argv[++i];
        } else if (a == "--view" && more) {
            o.viewFile = argv[++i];
        } else if (a == "--open") {
            o.open = true;
        } else if (a == "--watch") {
            o.watch = true;
        } else if (a == "--signals") {
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0)
                o.signals.push_back(argv[++i]);
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else {
            o.files.push_back(a);
        }
    }
    return !o.files.empty() && o.port >= 0 && o.port < 65536;
}

// Starts the desktop's browser on url, without waiting for it.
void openBrowser(const std::string& url) {
    if (fork() == 0) {
        execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

}  // namespace

int main(int argc, char** argv) {
    view::Options options;
    if (!parse(argc, argv, options)) return usage();
    if (options.host != "127.0.0.1") {
        std::fprintf(
            stderr,
            "warning: serving on %s: anyone who can reach it and has the URL sees the files\n",
            options.host.c_str());
    }
    const std::string token = newToken();
    view::Server server(options, token);
    const int port = server.bind();
    if (port < 0) {
        std::fprintf(stderr, "wavtrex-view: cannot listen on %s port %d\n", options.host.c_str(),
                     options.port);
        return 1;
    }
    const std::string url =
        "http://" + options.host + ":" + std::to_string(port) + "/?token=" + token;
    std::printf("%s\n", url.c_str());
    std::fflush(stdout);
    running = &server;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (options.open) openBrowser(url);
    if (options.watch) {
        std::thread([&server] {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                server.reopenChanged();
            }
        }).detach();
    }
    server.serve();
    return 0;
}
