// The viewer's HTTP side: the page, and the JSON answers it asks for, for
// the person who started the program only (token, Host check).
#ifndef WAVTREX_VIEW_SERVER_H
#define WAVTREX_VIEW_SERVER_H

#include <memory>
#include <string>
#include <vector>

#include "store.h"

namespace httplib {
class Server;
struct Request;
}  // namespace httplib

namespace view {

struct Options {
    std::vector<std::string> files;
    std::string host = "127.0.0.1";
    int port = 0;  // 0: any free port
    bool open = false, watch = false;
    std::string viewFile;              // --view: a saved view to restore
    std::vector<std::string> signals;  // --signals: names to show first
};

// One file of the page, embedded at build time (assets.cpp, generated).
struct Asset {
    const char* path;
    const char* type;
    const unsigned char* data;
    unsigned long size;
};
extern const Asset kAssets[];
extern const unsigned long kAssetCount;

class Server {
  public:
    Server(Options options, std::string token);
    ~Server();
    // Binds; returns the port, or -1.
    int bind();
    // Serves until stop().
    void serve();
    void stop();
    // Re-opens the runs whose files changed; their indices as a JSON list.
    std::string reopenChanged();

  private:
    void routes();
    void guardRoutes();
    void pageRoutes();
    void curveRoutes();
    Run& runOf(const httplib::Request& req);
    std::string envelopesJson(const httplib::Request& req);
    bool allowed(const std::string& host, const std::string& token,
                 const std::string& cookie) const;

    Options options_;
    std::string token_, savedView_;
    int port_ = -1;
    std::vector<std::unique_ptr<Run>> runs_;
    std::unique_ptr<httplib::Server> http_;
};

}  // namespace view

#endif  // WAVTREX_VIEW_SERVER_H
