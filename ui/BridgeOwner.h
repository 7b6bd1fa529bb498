#pragma once
#include <string>

#include "platform/browser/RefPtr.h"

class ClientHandler;
class GameCommandTarget;

// What the page's calls reach once the bridge has accepted their arguments, and
// what the browser client reports to. The main frame is the program's owner;
// tests put a recording one in its place. Called on the GUI thread.
class BridgeOwner {
public:
    virtual ~BridgeOwner() = default;

    virtual browser::RefPtr<ClientHandler> GetClientHandler() = 0;
    // A load of the start page's main frame has ended.
    virtual void SetPageLoaded() = 0;
    // The page has run the program's calls handed to it, or its document is
    // gone: the calls that wait for it may go now (UiScript::DeliverPending).
    virtual void PageCaughtUp() = 0;
    virtual std::string GetStartPageUrl() = 0;

    // download: recorded for the frame's timer, with or without a panel of that name.
    virtual void QueueDownload(const std::string& game) = 0;
    // The panel whose game name is exactly this, or null.
    virtual GameCommandTarget* FindGame(const std::string& game) = 0;
    // showBrowser and pop-ups: the user's web browser (http and https only).
    virtual void OpenInBrowser(const std::string& address) = 0;
    virtual void QueueTrackEvent(const std::string& category, const std::string& action, const std::string& label) = 0;
    virtual void SaveLogin(const std::string& loginName, const std::string& password) = 0;
    virtual void ClearLogin() = 0;
    virtual void SaveAuthToken(const std::string& token) = 0;
    virtual void ClearAuthToken() = 0;
    // The manifest refresh becomes due now.
    virtual void RefreshInterface() = 0;
};
