#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/browser/Browser.h"
#include "ui/BridgeOwner.h"
#include "ui/ClientHandler.h"
#include "ui/UiScript.h"
#include "ui/panels/GameCommandTarget.h"

class wxFrame;

// A game panel that records the commands it gets ("<name> install", ...).
class RecordingPanel : public GameCommandTarget {
public:
    RecordingPanel(std::string name, PanelState state, std::vector<std::string>& log)
        : name(std::move(name)), state(state), log(log) {}
    PanelState GetState() const override { return state; }
    void OnInstall() override { Note("install"); }
    void OnCancel() override { Note("cancel"); }
    void OnInstallFromDisc() override { Note("installFromDisc"); }
    void OnPlay() override { Note("play"); }
    void OnPatch() override { Note("patch"); }
    void OnPause() override { Note("pause"); }
    void OnUnpause() override { Note("unpause"); }
    void OnPreview() override { Note("preview"); }
    void LaunchOptions() override { Note("launchOptions"); }
    void SetPlayToken(const std::string& token) override { Note("token=" + token); }

    std::string name;
    PanelState state;

private:
    void Note(const std::string& what) { log.push_back(name + " " + what); }
    std::vector<std::string>& log;
};

// The bridge's owner in tests: records what reaches it, one line per call
// ("download|Space Game", "trackEvent|c|a|l", ...), and counts page loads.
class RecordingOwner : public BridgeOwner {
public:
    browser::RefPtr<ClientHandler> GetClientHandler() override { return client; }
    void SetPageLoaded() override { ++pageLoads; }
    void PageCaughtUp() override { UiScript::DeliverPending(); }
    std::string GetStartPageUrl() override { return startPage; }
    void QueueDownload(const std::string& game) override { log.push_back("download|" + game); }
    GameCommandTarget* FindGame(const std::string& game) override;
    void OpenInBrowser(const std::string& address) override { log.push_back("open|" + address); }
    void QueueTrackEvent(const std::string& c, const std::string& a, const std::string& l) override {
        log.push_back("trackEvent|" + c + "|" + a + "|" + l);
    }
    void SaveLogin(const std::string& n, const std::string& p) override { log.push_back("saveLogin|" + n + "|" + p); }
    void ClearLogin() override { log.push_back("clearLogin"); }
    void SaveAuthToken(const std::string& t) override { log.push_back("saveAuthToken|" + t); }
    void ClearAuthToken() override { log.push_back("clearAuthToken"); }
    void RefreshInterface() override { log.push_back("refreshInterface"); }

    RecordingPanel& AddPanel(const std::string& name, PanelState state);

    browser::RefPtr<ClientHandler> client;
    std::string startPage;
    int pageLoads = 0;
    std::vector<std::string> log;
    std::vector<std::unique_ptr<RecordingPanel>> panels;
};

// A real web view in a window, with the program's browser client and a
// recording owner; every call the page makes is recorded with the bridge's
// answer ("true"/"false"), in order.
class PageHarness {
public:
    PageHarness();
    ~PageHarness();

    // Creates the browser on the address; the program folder for the error page
    // is `programFolder` (with its trailing "/").
    void Open(const std::string& url, const std::string& programFolder = std::string());
    bool WaitForPageLoads(int count, int timeoutMs = 20000);
    // Runs script in the page, as the program does.
    void Run(const std::string& script);
    // Waits until the bridge has answered n calls in all.
    bool WaitForCalls(size_t n, int timeoutMs = 20000);
    // The owner's log from the given entry on.
    std::vector<std::string> LogFrom(size_t first) const;

    RecordingOwner owner;
    browser::RefPtr<browser::Browser> browser;
    std::vector<std::string> answers;     // "name=true" per call, in order
    std::vector<std::string> errorTexts;  // what the client put in place of failed pages
    wxFrame* window = nullptr;
};
