#include "ui/UiScript.h"

#include <atomic>
#include <deque>
#include <mutex>

#include <wx/app.h>
#include <wx/thread.h>

#include "ui/BridgeOwner.h"
#include "ui/ClientHandler.h"
#include "ui/PageCallLog.h"
#include "ui/PageCallText.h"
#include "ui/UiBindingHandler.h"

namespace {

struct PendingCall {
    UiScript::Handler handler;
    std::string script;
};

std::mutex queueLock;
std::deque<PendingCall> queue;
std::atomic<bool> deliveryPosted{false};

// Decided now, not when the call was made: the page may have loaded, or gone, since.
bool Deliver(const PendingCall& call) {
    UiScript::Handler handler = call.handler ? call.handler : ClientHandler::GetGlobalBindingHandler();
    if (!handler)
        return false;  // no script context yet
    BridgeOwner* owner = handler->GetOwner();
    if (!owner)
        return false;
    browser::RefPtr<ClientHandler> client = owner->GetClientHandler();
    return client && client->RunScript(call.script);
}

UiScript::Handler CurrentHandler() {
    return ClientHandler::GetGlobalBindingHandler();
}

}  // namespace

void UiScript::Run(const Handler& handler, const std::string& script) {
    if (!wxTheApp) {
        PageCallLog::Append(false, script);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(queueLock);
        queue.push_back({handler, script});
    }
    if (wxIsMainThread()) {
        DeliverPending();
        return;
    }
    if (!deliveryPosted.exchange(true)) {
        wxTheApp->CallAfter([] {
            deliveryPosted = false;
            DeliverPending();
        });
    }
}

void UiScript::DeliverPending() {
    for (;;) {
        PendingCall call;
        {
            std::lock_guard<std::mutex> guard(queueLock);
            if (queue.empty())
                return;
            call = std::move(queue.front());
            queue.pop_front();
        }
        PageCallLog::Append(Deliver(call), call.script);
    }
}

void UiScript::CheckForValidSession(const Handler& h) {
    Run(h, PageCallText::CheckForValidSession());
}
void UiScript::ClearGamePanels(const Handler& h) {
    Run(h, PageCallText::ClearGamePanels());
}

void UiScript::UpdateProgress(const Handler& h, int32_t gameId, const std::string& status, int32_t done, int32_t total,
                              int32_t speed, const std::string& record) {
    Run(h, PageCallText::UpdateProgress(gameId, status, done, total, speed, record));
}

void UiScript::AddCancelToProgress(const Handler& h, int32_t id) {
    Run(h, PageCallText::AddCancelToProgress(id));
}
void UiScript::AddPauseToProgress(const Handler& h, int32_t id) {
    Run(h, PageCallText::AddPauseToProgress(id));
}
void UiScript::StartProgress(const Handler& h, int32_t id) {
    Run(h, PageCallText::StartProgress(id));
}

void UiScript::SetGamePanelState(const Handler& h, int32_t gameId, int32_t state) {
    Run(h, PageCallText::SetGamePanelState(gameId, state));
}

void UiScript::ClickPanel(const Handler& h, int32_t id) {
    Run(h, PageCallText::ClickPanel(id));
}
void UiScript::ClickGameButton(const Handler& h, int32_t id) {
    Run(h, PageCallText::ClickGameButton(id));
}
void UiScript::SetAllGamesUrl(const Handler& h, const std::string& a) {
    Run(h, PageCallText::SetAllGamesUrl(a));
}
void UiScript::SetGameUrl(const Handler& h, const std::string& a) {
    Run(h, PageCallText::SetGameUrl(a));
}

void UiScript::AddGamePanel(const Handler& h, const std::string& name, const std::string& banner,
                            const std::string& homePage, bool flag, int32_t gameId, bool loginRequired,
                            int32_t timesPlayed, const std::string& iconUrl) {
    Run(h, PageCallText::AddGamePanel(name, banner, homePage, flag, gameId, loginRequired, timesPlayed, iconUrl));
}

void UiScript::TrackEvent(const Handler& h, const std::string& category, const std::string& action,
                          const std::string& label, int32_t value) {
    Run(h, PageCallText::TrackEvent(category, action, label, value));
}

void UiScript::SetUniqueId(const Handler& h, const std::string& s) {
    Run(h, PageCallText::SetUniqueId(s));
}
void UiScript::EnableDebugMode(const Handler& h) {
    Run(h, PageCallText::EnableDebugMode());
}

void UiScript::TrackPageView(const Handler& h, const std::string& first, const std::string& second) {
    Run(h, PageCallText::TrackPageView(first, second));
}

void UiScript::SetManifestVersion(const Handler& h, const std::string& v) {
    Run(h, PageCallText::SetManifestVersion(v));
}

void UiScript::OnFileDialogClose(const Handler& h) {
    Run(h, PageCallText::OnFileDialogClose());
}

void UiScript::SetSavedLogin(const Handler& h, const std::string& password, const std::string& loginName) {
    Run(h, PageCallText::SetSavedLogin(password, loginName));
}

void UiScript::SetAuthToken(const Handler& h, const std::string& t) {
    Run(h, PageCallText::SetAuthToken(t));
}
void UiScript::OnFileDialogOpen(const Handler& h) {
    Run(h, PageCallText::OnFileDialogOpen());
}
void UiScript::ShowMessage(const Handler& h, const std::string& t) {
    Run(h, PageCallText::ShowMessage(t));
}

void UiScript::DisplayDiagnostics(const Handler& h, const std::string& r) {
    Run(h, PageCallText::DisplayDiagnostics(r));
}

void UiScript::showMessage(const std::string& text) {
    ShowMessage(CurrentHandler(), text);
}

void UiScript::trackEvent(const std::string& category, const std::string& action, const std::string& label, int value) {
    TrackEvent(CurrentHandler(), category, action, label, value);
}

void UiScript::trackPageView(const std::string& first, const std::string& second) {
    TrackPageView(CurrentHandler(), first, second);
}

void UiScript::checkForValidSession() {
    CheckForValidSession(CurrentHandler());
}
void UiScript::setManifestVersion(const std::string& version) {
    SetManifestVersion(CurrentHandler(), version);
}

void UiScript::setSavedLogin(const std::string& password, const std::string& loginName) {
    SetSavedLogin(CurrentHandler(), password, loginName);
}

void UiScript::setAuthToken(const std::string& token) {
    SetAuthToken(CurrentHandler(), token);
}
void UiScript::onFileDialogOpen() {
    OnFileDialogOpen(CurrentHandler());
}
void UiScript::onFileDialogClose() {
    OnFileDialogClose(CurrentHandler());
}
void UiScript::displayDiagnostics(const std::string& report) {
    DisplayDiagnostics(CurrentHandler(), report);
}

void UiScript::clearGamePanels() {
    ClearGamePanels(CurrentHandler());
}

void UiScript::addGamePanel(const std::string& name, const std::string& banner, const std::string& homePage, bool flag,
                            int32_t gameId, bool loginRequired, int32_t timesPlayed, const std::string& iconUrl) {
    AddGamePanel(CurrentHandler(), name, banner, homePage, flag, gameId, loginRequired, timesPlayed, iconUrl);
}

void UiScript::setGamePanelState(int32_t gameId, int32_t state) {
    SetGamePanelState(CurrentHandler(), gameId, state);
}

void UiScript::startProgress(int32_t gameId) {
    StartProgress(CurrentHandler(), gameId);
}
void UiScript::addPauseToProgress(int32_t gameId) {
    AddPauseToProgress(CurrentHandler(), gameId);
}
void UiScript::addCancelToProgress(int32_t gameId) {
    AddCancelToProgress(CurrentHandler(), gameId);
}

void UiScript::updateProgress(int32_t gameId, const std::string& status, int32_t done, int32_t total, int32_t speed,
                              const std::string& recordText) {
    UpdateProgress(CurrentHandler(), gameId, status, done, total, speed, recordText);
}

void UiScript::clickPanel(int32_t gameId) {
    ClickPanel(CurrentHandler(), gameId);
}
void UiScript::clickGameButton(int32_t gameId) {
    ClickGameButton(CurrentHandler(), gameId);
}
