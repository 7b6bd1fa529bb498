#pragma once
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "tools/demo-publisher/DemoContent.h"
#include "tools/demo-publisher/PublisherSettings.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

// The demo publisher's web service on 127.0.0.1:
//
//   GET  /quor/manifest.php               the manifest, naming this server's own address
//   GET  /quor/t.php, /quor/error.php     telemetry and error reports (answered "OK")
//   GET  /quor/banners/<slug>.png, /quor/icons/<slug>.png
//   GET  /quor/games/<slug>/<Setup>.exe   the installer (404 with --fail-download)
//   GET  /quor/games/<slug>/patches/catalog.xml, .../<slug>-<a>-<b>.quorpatch
//   GET  /quor/games/<slug>/install.txt   the install manifest of the latest build (or the one set)
//   GET  /quor/games/<slug>/files/<path>  that build's files
//   GET  /quor/builds/<slug>/<n>/<path>   any build's files
//   GET  /quor/update/QuorSetup-<n>.exe   the launcher's update installer
//   GET  /quor/, /quor/games.html, /quor/game.html, /quor/games/<slug>/, ... small pages
//   POST /control/catalogue-latest?value=N, /control/install-manifest-build?value=0..3,
//        /control/update-version?value=N,
//        /control/manifest-refresh?value=S, /control/rate?value=KBPS,
//        /control/fail-download?game=NAME&value=1|0, /control/broken-installer?game=NAME&value=1|0
//   GET  /control/state                   the settings, one "name=value" a line
//
// Every request is logged, one line each: method, target, status, and the
// Range header when there is one.
class PublisherServer {
public:
    PublisherServer(const DemoContent& content, PublisherSettings settings);
    ~PublisherServer();

    bool OpenLog(const std::string& path);
    // Binds 127.0.0.1 (port 0: any free port); the port, or -1.
    int Bind(int port);
    void Run();   // serves until Stop
    void Stop();  // from any thread; ignored until Run has started
    bool IsRunning() const;

    PublisherSettings Settings();

private:
    void Routes();
    void Log(const httplib::Request& req, const httplib::Response& res);
    void Send(httplib::Response& res, const std::string& bytes, const char* type, bool limited);
    bool Control(const httplib::Request& req, httplib::Response& res, const std::string& what);
    std::string Base() const;

    const DemoContent& content;
    std::unique_ptr<httplib::Server> server;
    int port = -1;

    std::mutex settingsLock;
    PublisherSettings settings;

    std::mutex logLock;
    FILE* log = nullptr;
};
