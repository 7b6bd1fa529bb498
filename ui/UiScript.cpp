#include "ui/UiScript.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

#include <wx/app.h>
#include <wx/thread.h>

#include "ui/BridgeOwner.h"
#include "ui/ClientHandler.h"
#include "ui/PageCallLog.h"
#include "ui/PageCallText.h"
#include "ui/UiBindingHandler.h"

namespace {

using Scope = UiScript::Scope;

struct PendingCall {
    UiScript::Handler handler;
    std::string script;
    Scope scope = Scope::Page;
};

std::mutex queueLock;
std::deque<PendingCall> queue;
std::atomic<bool> deliveryPosted{false};

// The browser client the call goes to: decided now, not when the call was made,
// since the page may have loaded, or gone, since. Empty when there is none.
browser::RefPtr<ClientHandler> ClientOf(const PendingCall& call) {
    UiScript::Handler handler = call.handler ? call.handler : ClientHandler::GetGlobalBindingHandler();
    if (!handler)
        return {};  // no script context yet
    BridgeOwner* owner = handler->GetOwner();
    return owner ? owner->GetClientHandler() : browser::RefPtr<ClientHandler>();
}

// Under queueLock, before a clear joins the queue: the waiting panel calls and
// clears it makes void, back to the newest call that needs the panels before
// it. Answers their texts; the others keep their order.
std::vector<std::string> DropVoidedByClear() {
    auto needed = std::find_if(queue.rbegin(), queue.rend(),
                               [](const PendingCall& call) { return call.scope == Scope::PanelButton; });
    auto from = needed.base();
    auto voided = [](const PendingCall& call) { return call.scope == Scope::Panel || call.scope == Scope::Clear; };
    std::vector<std::string> dropped;
    for (auto it = from; it != queue.end(); ++it)
        if (voided(*it))
            dropped.push_back(std::move(it->script));
    queue.erase(std::remove_if(from, queue.end(), voided), queue.end());
    return dropped;
}

UiScript::Handler CurrentHandler() {
    return ClientHandler::GetGlobalBindingHandler();
}

}  // namespace

void UiScript::Run(const Handler& handler, const std::string& script, Scope scope) {
    if (!wxTheApp) {
        PageCallLog::Append(false, script);
        return;
    }
    std::vector<std::string> dropped;
    {
        std::lock_guard<std::mutex> guard(queueLock);
        if (scope == Scope::Clear)
            dropped = DropVoidedByClear();
        queue.push_back({handler, script, scope});
    }
    for (const std::string& text : dropped)
        PageCallLog::Append(false, text);
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
        browser::RefPtr<ClientHandler> client;
        {
            std::lock_guard<std::mutex> guard(queueLock);
            if (queue.empty())
                return;
            client = ClientOf(queue.front());
            // The page's report that it has caught up calls this again.
            if (client && client->IsPageBehind())
                return;
            call = std::move(queue.front());
            queue.pop_front();
        }
        PageCallLog::Append(client && client->RunScript(call.script), call.script);
    }
}

void UiScript::CheckForValidSession(const Handler& h) {
    Run(h, PageCallText::CheckForValidSession());
}
void UiScript::ClearGamePanels(const Handler& h) {
    Run(h, PageCallText::ClearGamePanels(), Scope::Clear);
}

void UiScript::UpdateProgress(const Handler& h, int32_t gameId, const std::string& status, int32_t done, int32_t total,
                              int32_t speed, const std::string& record) {
    Run(h, PageCallText::UpdateProgress(gameId, status, done, total, speed, record), Scope::Panel);
}

void UiScript::AddCancelToProgress(const Handler& h, int32_t id) {
    Run(h, PageCallText::AddCancelToProgress(id), Scope::Panel);
}
void UiScript::AddPauseToProgress(const Handler& h, int32_t id) {
    Run(h, PageCallText::AddPauseToProgress(id), Scope::Panel);
}
void UiScript::StartProgress(const Handler& h, int32_t id) {
    Run(h, PageCallText::StartProgress(id), Scope::Panel);
}

void UiScript::SetGamePanelState(const Handler& h, int32_t gameId, int32_t state) {
    Run(h, PageCallText::SetGamePanelState(gameId, state), Scope::Panel);
}

void UiScript::ClickPanel(const Handler& h, int32_t id) {
    Run(h, PageCallText::ClickPanel(id), Scope::Panel);
}
void UiScript::ClickGameButton(const Handler& h, int32_t id) {
    Run(h, PageCallText::ClickGameButton(id), Scope::PanelButton);
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
    Run(h, PageCallText::AddGamePanel(name, banner, homePage, flag, gameId, loginRequired, timesPlayed, iconUrl),
        Scope::Panel);
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
    Run(h, PageCallText::SetSavedLogin(password, loginName), Scope::Panel);
}

void UiScript::SetAuthToken(const Handler& h, const std::string& t) {
    Run(h, PageCallText::SetAuthToken(t), Scope::Panel);
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
