#include "tests/resources/HeadlessBrowser.h"

#include <cstdlib>
#include <fstream>
#include <unistd.h>

#include "tests/fixtures/ChildProcess.h"

namespace {

const char* const kChromium = "/usr/bin/chromium";

std::string Decode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        size_t end = text.find(';', i);
        std::string entity = end == std::string::npos ? "" : text.substr(i + 1, end - i - 1);
        if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (entity == "amp")
            out += '&';
        else if (entity == "quot")
            out += '"';
        else if (entity == "nbsp")
            out += "\xc2\xa0";
        else {
            out += '&';
            continue;
        }
        i = end;
    }
    return out;
}

}  // namespace

HeadlessBrowser::HeadlessBrowser(std::string profileFolder) : profile(std::move(profileFolder)) {}

bool HeadlessBrowser::Available() {
    return access(kChromium, X_OK) == 0;
}

std::string HeadlessBrowser::DumpDocument(const std::string& address, int width, int height) {
    if (extraHeight < 0) {
        // The headless window keeps part of its height for itself; measure it once.
        std::string probe = profile + "-probe.html";
        std::ofstream(probe) << "<html><body><pre id='h'></pre><script>"
                                "document.getElementById('h').textContent = String(innerHeight);"
                                "</script></body></html>";
        extraHeight = 0;
        std::string seen = PreText(DumpDocument("file://" + probe, width, height), "h");
        int inner = std::atoi(seen.c_str());
        extraHeight = inner > 0 && inner <= height ? height - inner : 0;
    }
    // timeout(1) keeps a browser that hangs from hanging the test.
    ChildProcess::Result r = ChildProcess::Run(
        {"/usr/bin/timeout", "-k", "5", "90", kChromium, "--headless", "--no-sandbox", "--disable-gpu",
         "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-extensions", "--user-data-dir=" + profile,
         "--window-size=" + std::to_string(width) + "," + std::to_string(height + extraHeight), "--dump-dom", address});
    return r.exitCode == 0 ? r.out : std::string();
}

std::string HeadlessBrowser::PreText(const std::string& document, const std::string& id) {
    std::string open = "<pre id=\"" + id + "\">";
    size_t at = document.find(open);
    if (at == std::string::npos)
        return "";
    at += open.size();
    size_t end = document.find("</pre>", at);
    return Decode(document.substr(at, end == std::string::npos ? std::string::npos : end - at));
}
