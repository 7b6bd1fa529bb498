#pragma once
#include <atomic>
#include <mutex>
#include <string>

#include "platform/browser/Browser.h"
#include "platform/browser/Client.h"
#include "platform/browser/RefPtr.h"

class BridgeOwner;
class UiBindingHandler;
class wxWindow;

// The main browser's client: knows the main browser and whether the start page
// has finished loading, gives every new script context its "brq_interface"
// bound to a new UiBindingHandler, runs the program's page calls in the main
// frame, and puts the program's own page in place of one that failed to load.
// The newest ClientHandler is the process-wide one.
class ClientHandler : public browser::Client {
public:
    explicit ClientHandler(BridgeOwner* owner);
    ~ClientHandler() override;

    // The bridge object of the process-wide handler's newest script context;
    // empty when there is no handler or no context yet. Safe from any thread.
    static browser::RefPtr<UiBindingHandler> GetGlobalBindingHandler();
    // The process-wide handler, or empty.
    static browser::RefPtr<ClientHandler> GetGlobalHandler();
    // What a browser for this client is created with (the page object and its functions).
    static browser::BrowserSettings GetBrowserSettings();
    // The page shown in place of one that failed (its style sheet is relative).
    static std::string ErrorPageHtml();

    browser::RefPtr<UiBindingHandler> GetBindingHandler();
    browser::RefPtr<browser::Browser> GetBrowser();
    wxWindow* GetBrowserWindow();
    BridgeOwner* GetOwner() const { return owner; }
    bool IsPageLoaded() const { return pageLoaded.load(); }

    // Runs the script in the main browser's main frame; false (dropped) while
    // the page has not finished loading or there is no main browser.
    bool RunScript(const std::string& script);
    // The page is there but has not yet run the many scripts it was given: a
    // script now would wait inside the browser. The owner hears PageCaughtUp
    // when that may have changed. GUI thread.
    bool IsPageBehind();

    void OnAfterCreated(browser::RefPtr<browser::Browser> browser) override;
    void OnBeforeClose(browser::RefPtr<browser::Browser> browser) override;
    void OnLoadEnd(browser::RefPtr<browser::Browser> browser, browser::RefPtr<browser::Frame> frame,
                   int httpStatusCode) override;
    bool OnLoadError(browser::RefPtr<browser::Browser> browser, browser::RefPtr<browser::Frame> frame, int errorCode,
                     const std::string& failedUrl, std::string& errorText) override;
    void OnContextCreated(browser::RefPtr<browser::Browser> browser, browser::RefPtr<browser::Frame> frame,
                          browser::RefPtr<browser::Context> context) override;
    void OnPopupRequested(browser::RefPtr<browser::Browser> browser, browser::RefPtr<browser::Frame> frame,
                          const std::string& url) override;
    void OnRefreshRequested(browser::RefPtr<browser::Browser> browser) override;
    void OnScriptsRun(browser::RefPtr<browser::Browser> browser) override;

    // The address the error page is given, so its style sheet resolves in the
    // program folder; the program folder itself unless set.
    void SetProgramFolder(const std::string& folder);

private:
    std::atomic<bool> pageLoaded{false};
    browser::RefPtr<UiBindingHandler> bindingHandler;
    browser::RefPtr<browser::Browser> mainBrowser;
    BridgeOwner* owner;
    wxWindow* browserWindow = nullptr;
    std::string programFolder;
    std::recursive_mutex lock;
};
