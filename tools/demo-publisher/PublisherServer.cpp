#include "tools/demo-publisher/PublisherServer.h"

#include <chrono>
#include <httplib.h>
#include <thread>

namespace {

const char* const kHtml = "text/html; charset=utf-8";
const char* const kBinary = "application/octet-stream";

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body><h1>" + title +
           "</h1>" + body + "</body></html>\n";
}

bool ParseInt(const std::string& text, long low, long high, long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high)
        return false;
    value = v;
    return true;
}

}  // namespace

PublisherServer::PublisherServer(const DemoContent& content, PublisherSettings settings)
    : content(content), server(std::make_unique<httplib::Server>()), settings(std::move(settings)) {
    Routes();
}

PublisherServer::~PublisherServer() {
    if (log)
        std::fclose(log);
}

bool PublisherServer::OpenLog(const std::string& path) {
    log = std::fopen(path.c_str(), "a");
    return log != nullptr;
}

int PublisherServer::Bind(int wanted) {
    port =
        wanted == 0 ? server->bind_to_any_port("127.0.0.1") : (server->bind_to_port("127.0.0.1", wanted) ? wanted : -1);
    return port;
}

void PublisherServer::Run() {
    {
        std::lock_guard<std::mutex> hold(runLock);
        if (stopping)
            return;
        running = true;
    }
    server->listen_after_bind();
    std::lock_guard<std::mutex> hold(runLock);
    running = false;
    runEnded.notify_all();
}

void PublisherServer::Stop() {
    std::unique_lock<std::mutex> hold(runLock);
    stopping = true;
    bool stopped = false;
    while (running) {
        // Once the loop runs, one stop ends it (a second one asserts in httplib).
        if (!stopped && server->is_running()) {
            server->stop();
            stopped = true;
        }
        runEnded.wait_for(hold, std::chrono::milliseconds(10));
    }
}

PublisherSettings PublisherServer::Settings() {
    std::lock_guard<std::mutex> hold(settingsLock);
    return settings;
}

std::string PublisherServer::Base() const {
    return "http://127.0.0.1:" + std::to_string(port);
}

void PublisherServer::Log(const httplib::Request& req, const httplib::Response& res) {
    std::string line = req.method + " " + req.target + " " + std::to_string(res.status);
    if (req.has_header("Range"))
        line += " range=" + req.get_header_value("Range");
    std::lock_guard<std::mutex> hold(logLock);
    if (log) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);
    }
}

void PublisherServer::Send(httplib::Response& res, const std::string& bytes, const char* type, bool limited) {
    int rate = limited ? Settings().rateKbps : 0;
    if (rate <= 0) {
        res.set_content(bytes, type);
        return;
    }
    // A slow line, so a download can be watched, paused and cancelled.
    auto data = std::make_shared<std::string>(bytes);
    size_t slice = std::max<size_t>(1, static_cast<size_t>(rate) * 1024 / 10);
    res.set_content_provider(data->size(), type, [data, slice](size_t offset, size_t length, httplib::DataSink& sink) {
        size_t n = std::min(length, slice);
        if (!sink.write(data->data() + offset, n))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return true;
    });
}

bool PublisherServer::Control(const httplib::Request& req, httplib::Response& res, const std::string& what) {
    std::string value = req.get_param_value("value");
    long n = 0;
    std::lock_guard<std::mutex> hold(settingsLock);
    if (what == "catalogue-latest" && ParseInt(value, 1, DemoGame::kBuilds, n)) {
        settings.catalogueLatest = static_cast<int>(n);
    } else if (what == "install-manifest-build" && ParseInt(value, 0, DemoGame::kBuilds, n)) {
        settings.installManifestBuild = static_cast<int>(n);
    } else if (what == "update-version" && ParseInt(value, 0, INT32_MAX, n)) {
        settings.updateVersion = static_cast<int32_t>(n);
    } else if (what == "manifest-refresh" && ParseInt(value, 0, INT32_MAX, n)) {
        settings.manifestRefreshTime = static_cast<int32_t>(n);
    } else if (what == "rate" && ParseInt(value, 0, 1 << 20, n)) {
        settings.rateKbps = static_cast<int>(n);
    } else if ((what == "fail-download" || what == "broken-installer") && ParseInt(value, 0, 1, n)) {
        const DemoGame* game = DemoGame::Find(req.get_param_value("game"));
        if (!game) {
            res.status = 400;
            res.set_content("no such game\n", "text/plain");
            return false;
        }
        std::set<std::string>& set = what == "fail-download" ? settings.failDownload : settings.brokenInstaller;
        if (n)
            set.insert(game->name);
        else
            set.erase(game->name);
    } else {
        res.status = 400;
        res.set_content("bad setting or value\n", "text/plain");
        return false;
    }
    ++settings.generation;
    res.set_content("OK\n", "text/plain");
    return true;
}

void PublisherServer::Routes() {
    httplib::Server& s = *server;
    s.set_logger([this](const httplib::Request& req, const httplib::Response& res) { Log(req, res); });

    s.Get("/quor/manifest.php", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(content.Manifest(Base(), Settings()), "text/xml; charset=utf-8");
    });
    auto ok = [](const httplib::Request&, httplib::Response& res) { res.set_content("OK", "text/plain"); };
    s.Get("/quor/t.php", ok);
    s.Get("/quor/error.php", ok);

    auto game = [](const httplib::Request& req, httplib::Response& res) -> const DemoGame* {
        const DemoGame* g = DemoGame::Find(req.matches[1]);
        if (!g)
            res.status = 404;
        return g;
    };
    s.Get(R"(/quor/banners/([a-z]+)\.png)", [this, game](const httplib::Request& req, httplib::Response& res) {
        if (const DemoGame* g = game(req, res))
            res.set_content(content.Banner(*g), "image/png");
    });
    s.Get(R"(/quor/icons/([a-z]+)\.png)", [this, game](const httplib::Request& req, httplib::Response& res) {
        if (const DemoGame* g = game(req, res))
            res.set_content(content.Icon(*g), "image/png");
    });
    s.Get(R"(/quor/games/([a-z]+)/([A-Za-z]+Setup\.exe))",
          [this, game](const httplib::Request& req, httplib::Response& res) {
              const DemoGame* g = game(req, res);
              if (!g)
                  return;
              PublisherSettings now = Settings();
              if (req.matches[2] != g->setupName || now.failDownload.count(g->name)) {
                  res.status = 404;
                  res.set_content(Page("Not found", "<p>This installer is not here.</p>"), kHtml);
                  return;
              }
              Send(res, content.Installer(*g, now.brokenInstaller.count(g->name) > 0), kBinary, true);
          });
    s.Get(R"(/quor/games/([a-z]+)/patches/catalog\.xml)",
          [this, game](const httplib::Request& req, httplib::Response& res) {
              if (const DemoGame* g = game(req, res))
                  res.set_content(content.PatchCatalogue(*g, Base(), Settings()), "text/xml; charset=utf-8");
          });
    s.Get(R"(/quor/games/([a-z]+)/patches/([a-z]+-(\d)-\d\.quorpatch))",
          [this, game](const httplib::Request& req, httplib::Response& res) {
              const DemoGame* g = game(req, res);
              if (!g)
                  return;
              int from = std::stoi(req.matches[3]);
              const std::string& patch = content.Patch(*g, from);
              if (req.matches[2] != DemoContent::PatchFileName(*g, from) || patch.empty()) {
                  res.status = 404;
                  return;
              }
              Send(res, patch, kBinary, true);
          });
    s.Get(R"(/quor/games/([a-z]+)/install\.txt)", [this, game](const httplib::Request& req, httplib::Response& res) {
        if (const DemoGame* g = game(req, res))
            res.set_content(content.InstallManifest(*g, Settings()), "text/plain; charset=utf-8");
    });
    s.Get(R"(/quor/games/([a-z]+)/files/(.+))", [this, game](const httplib::Request& req, httplib::Response& res) {
        const DemoGame* g = game(req, res);
        std::string bytes;
        if (g && content.BuildFile(*g, Settings().RepairBuild(), req.matches[2], bytes))
            res.set_content(bytes, kBinary);
        else
            res.status = 404;
    });
    s.Get(R"(/quor/builds/([a-z]+)/(\d)/(.+))", [this, game](const httplib::Request& req, httplib::Response& res) {
        const DemoGame* g = game(req, res);
        std::string bytes;
        if (g && content.BuildFile(*g, std::stoi(req.matches[2]), req.matches[3], bytes))
            res.set_content(bytes, kBinary);
        else
            res.status = 404;
    });
    s.Get(R"(/quor/update/QuorSetup-(\d+)\.exe)", [this](const httplib::Request& req, httplib::Response& res) {
        if (req.matches[1] != std::to_string(Settings().updateVersion)) {
            res.status = 404;
            return;
        }
        Send(res, content.UpdateInstaller(), kBinary, true);
    });
    s.Get(R"(/quor/games/([a-z]+)/)", [game](const httplib::Request& req, httplib::Response& res) {
        if (const DemoGame* g = game(req, res))
            res.set_content(Page(g->name, "<p>A demo game of Brindlemoor Demo. Play it from Quor.</p>"), kHtml);
    });
    auto page = [](const std::string& title, const std::string& body) {
        return [title, body](const httplib::Request&, httplib::Response& res) {
            res.set_content(Page(title, body), kHtml);
        };
    };
    s.Get("/quor/", page("Brindlemoor Demo", "<p>The demo publisher of Quor.</p>"));
    s.Get("/quor/games.html", page("All games", "<p>Star Courier, Moss Garden, Lantern Keep.</p>"));
    s.Get("/quor/game.html", page("Community", "<p>News of the demo games.</p>"));
    s.Get("/quor/help.html", page("Help", "<p>Quor downloads, installs, updates and starts the games.</p>"));
    s.Get("/quor/register.html", page("Register", "<p>The demo needs no account: any login name works.</p>"));

    s.Post(R"(/control/([a-z-]+))",
           [this](const httplib::Request& req, httplib::Response& res) { Control(req, res, req.matches[1]); });
    s.Get("/control/state", [this](const httplib::Request&, httplib::Response& res) {
        PublisherSettings now = Settings();
        std::string text = "catalogue-latest=" + std::to_string(now.catalogueLatest) +
                           "\ninstall-manifest-build=" + std::to_string(now.installManifestBuild) +
                           "\nupdate-version=" + std::to_string(now.updateVersion) +
                           "\nmanifest-refresh=" + std::to_string(now.manifestRefreshTime) +
                           "\nrate=" + std::to_string(now.rateKbps) + "\ngeneration=" + std::to_string(now.generation) +
                           "\n";
        for (const std::string& g : now.failDownload)
            text += "fail-download=" + g + "\n";
        for (const std::string& g : now.brokenInstaller)
            text += "broken-installer=" + g + "\n";
        res.set_content(text, "text/plain; charset=utf-8");
    });
}
