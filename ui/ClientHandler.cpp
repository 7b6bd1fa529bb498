#include "ui/ClientHandler.h"

#include <utility>

#include "core/system/SystemPaths.h"
#include "ui/ActivityLog.h"
#include "ui/BridgeOwner.h"
#include "ui/StartPageAddress.h"
#include "ui/UiBindingHandler.h"

namespace {

std::mutex globalLock;
browser::RefPtr<ClientHandler> globalHandler;

bool IsWebAddress(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

}  // namespace

ClientHandler::ClientHandler(BridgeOwner* owner) : owner(owner), programFolder(GetProgramDirectory()) {
    // Referenced through the swap, released when the old value goes.
    browser::RefPtr<ClientHandler> self(this);
    std::lock_guard<std::mutex> guard(globalLock);
    globalHandler.swap(self);
}

ClientHandler::~ClientHandler() = default;

browser::RefPtr<ClientHandler> ClientHandler::GetGlobalHandler() {
    std::lock_guard<std::mutex> guard(globalLock);
    return globalHandler;
}

browser::RefPtr<UiBindingHandler> ClientHandler::GetGlobalBindingHandler() {
    browser::RefPtr<ClientHandler> handler = GetGlobalHandler();
    return handler ? handler->GetBindingHandler() : browser::RefPtr<UiBindingHandler>();
}

browser::BrowserSettings ClientHandler::GetBrowserSettings() {
    browser::BrowserSettings settings;
    settings.scriptObjects.push_back({"brq_interface", UiBindingHandler::FunctionNames()});
    return settings;
}

std::string ClientHandler::ErrorPageHtml() {
    return "<html xmlns='http://www.w3.org/1999/xhtml'>"
           "<head>"
           "<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
           "<meta http-equiv='Cache-Control' content='no-cache' />"
           "<title>Brindlemoor Quor!</title>"
           "<link rel='stylesheet' href='Content/v2/_inc/styles.css' type='text/css' />"
           "</head>"
           "<body id='technical-difficulties'>"
           "<a class='refresh' href='' onclick=\"window.parent.postMessage({'type' : "
           "'refresh-interface'}, '*');\"></a>"
           "</body>"
           "</html>";
}

void ClientHandler::SetProgramFolder(const std::string& folder) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    programFolder = folder;
}

browser::RefPtr<UiBindingHandler> ClientHandler::GetBindingHandler() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return bindingHandler;
}

browser::RefPtr<browser::Browser> ClientHandler::GetBrowser() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return mainBrowser;
}

wxWindow* ClientHandler::GetBrowserWindow() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return browserWindow;
}

bool ClientHandler::RunScript(const std::string& script) {
    if (!pageLoaded.load())
        return false;
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!mainBrowser)
        return false;
    mainBrowser->GetMainFrame()->ExecuteJavaScript(script, std::string(), 0);
    return true;
}

bool ClientHandler::IsPageBehind() {
    if (!pageLoaded.load())
        return false;
    browser::RefPtr<browser::Browser> browser = GetBrowser();
    return browser && !browser->CanTakeScript();
}

void ClientHandler::OnScriptsRun(browser::RefPtr<browser::Browser> browser) {
    if (owner && browser == GetBrowser())
        owner->PageCaughtUp();
}

void ClientHandler::OnAfterCreated(browser::RefPtr<browser::Browser> browser) {
    pageLoaded = false;
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!mainBrowser) {
        mainBrowser = browser;
        browserWindow = browser->GetWindowHandle();
    }
}

void ClientHandler::OnBeforeClose(browser::RefPtr<browser::Browser> browser) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (browser == mainBrowser) {
        mainBrowser.reset();
        browserWindow = nullptr;
        pageLoaded = false;
    }
}

void ClientHandler::OnLoadEnd(browser::RefPtr<browser::Browser> browser, browser::RefPtr<browser::Frame> frame, int) {
    if (browser != GetBrowser() || !frame->IsMain())
        return;
    if (owner)
        owner->SetPageLoaded();
    pageLoaded = true;
    ActivityLog::Append("page-loaded " + browser->GetMainFrame()->GetURL());
}

bool ClientHandler::OnLoadError(browser::RefPtr<browser::Browser>, browser::RefPtr<browser::Frame> frame, int,
                                const std::string& failedUrl, std::string& errorText) {
    ActivityLog::Append("page-failed " + failedUrl);
    std::string folder;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        folder = programFolder;
    }
    std::string page = ErrorPageHtml();
    errorText = page;
    frame->LoadString(page, ProgramFolderAddress(folder) + "fake.html");
    return false;
}

void ClientHandler::OnContextCreated(browser::RefPtr<browser::Browser>, browser::RefPtr<browser::Frame>,
                                     browser::RefPtr<browser::Context> context) {
    browser::RefPtr<UiBindingHandler> handler(new UiBindingHandler(owner));
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        bindingHandler = handler;
    }
    context->BindObject("brq_interface", UiBindingHandler::FunctionNames(), handler);
}

void ClientHandler::OnPopupRequested(browser::RefPtr<browser::Browser>, browser::RefPtr<browser::Frame>,
                                     const std::string& url) {
    // No window is made, so the page stays loaded; web addresses go to the user's browser.
    if (owner && IsWebAddress(url))
        owner->OpenInBrowser(url);
}

void ClientHandler::OnRefreshRequested(browser::RefPtr<browser::Browser> browser) {
    if (owner)
        browser->GetMainFrame()->LoadURL(owner->GetStartPageUrl());
}
