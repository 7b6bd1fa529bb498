#include "platform/browser/Browser.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <webkit2/webkit2.h>
#include <wx/webview.h>
#include <wx/window.h>

#include "platform/browser/BridgeMessage.h"

namespace browser {

namespace {

constexpr const char* kChannel = "quor";

// Every browser stays alive until its web view is gone.
std::vector<RefPtr<Browser>>& LiveBrowsers() {
    static std::vector<RefPtr<Browser>> browsers;
    return browsers;
}

std::string Utf8(const wxString& text) {
    return text.utf8_string();
}

}  // namespace

// The WebKit signals the layer takes directly.
struct BrowserNative {
    static gboolean LoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self) {
        bool cancelled =
            g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
            g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
            g_error_matches(error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD);
        return static_cast<Browser*>(self)->OnLoadFailed(uri ? uri : "", error ? error->code : 0, cancelled) ? TRUE
                                                                                                             : FALSE;
    }

    // The launcher's pages never save anything: every download is cancelled
    // before it has a place on disk.
    static void DownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
        g_signal_connect(download, "decide-destination", G_CALLBACK(RefuseDestination), nullptr);
        webkit_download_cancel(download);
    }

    static gboolean RefuseDestination(WebKitDownload* download, gchar*, gpointer) {
        webkit_download_cancel(download);
        return TRUE;
    }

    // What a checkpoint's answer confirms.
    struct Checkpoint {
        RefPtr<Browser> browser;
        uint64_t generation;
        size_t scripts;
    };

    // Comes with the value or with an error (the document or the web process
    // gone); either way the scripts before it are no longer waiting.
    static void CheckpointDone(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Checkpoint> checkpoint(static_cast<Checkpoint*>(data));
        GError* error = nullptr;
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error))
            g_object_unref(value);
        if (error)
            g_error_free(error);
        checkpoint->browser->OnCheckpoint(checkpoint->generation, checkpoint->scripts);
    }
};

Browser::Browser(RefPtr<Client> client) : client(std::move(client)) {}

Browser::~Browser() = default;

RefPtr<Browser> Browser::CreateBrowser(wxWindow* parent, int x, int y, int width, int height, RefPtr<Client> client,
                                       const std::string& url, const BrowserSettings& settings) {
    RefPtr<Browser> browser(new Browser(std::move(client)));
    wxWebView* view = wxWebView::New();
    if (!view->Create(parent, wxID_ANY, wxString(), wxPoint(x, y), wxSize(width, height))) {
        delete view;
        return {};
    }
    LiveBrowsers().push_back(browser);
    browser->Attach(view, settings);
    if (browser->client)
        browser->client->OnAfterCreated(browser);
    browser->LoadUrl(url);
    return browser;
}

void Browser::Attach(wxWebView* webView, const BrowserSettings& settings) {
    view = webView;
    view->EnableContextMenu(false);
    view->AddScriptMessageHandler(kChannel);

    auto* native = static_cast<WebKitWebView*>(view->GetNativeBackend());
    std::string script = BuildBridgeScript(kChannel, settings.scriptObjects);
    WebKitUserScript* userScript =
        webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(native), userScript);
    webkit_user_script_unref(userScript);
    // A page restored from the page cache would keep a bridge the program has
    // already let go of.
    webkit_settings_set_enable_page_cache(webkit_web_view_get_settings(native), FALSE);
    WebKitWebContext* context = webkit_web_view_get_context(native);
    if (!g_object_get_data(G_OBJECT(context), "quor-downloads-refused")) {
        g_object_set_data(G_OBJECT(context), "quor-downloads-refused", GINT_TO_POINTER(1));
        g_signal_connect(context, "download-started", G_CALLBACK(BrowserNative::DownloadStarted), nullptr);
    }
    // Nothing dropped onto the window is opened.
    gtk_drag_dest_unset(GTK_WIDGET(native));
    // Connected after wxWebView's own handler, so this one decides what is shown.
    g_signal_connect(native, "load-failed", G_CALLBACK(BrowserNative::LoadFailed), this);

    view->Bind(wxEVT_WEBVIEW_NAVIGATED, &Browser::OnNavigated, this);
    view->Bind(wxEVT_WEBVIEW_LOADED, &Browser::OnLoaded, this);
    view->Bind(wxEVT_WEBVIEW_NEWWINDOW, &Browser::OnNewWindow, this);
    view->Bind(wxEVT_WEBVIEW_SCRIPT_MESSAGE_RECEIVED, &Browser::OnScriptMessage, this);

    view->Bind(wxEVT_DESTROY, [this](wxWindowDestroyEvent& event) {
        event.Skip();
        if (event.GetEventObject() == view)
            OnDestroyed();
    });
}

void Browser::Shutdown() {
    std::vector<RefPtr<Browser>> browsers = LiveBrowsers();
    for (RefPtr<Browser>& browser : browsers)
        browser->CloseBrowser();
}

RefPtr<Frame> Browser::GetMainFrame() {
    return RefPtr<Frame>(new Frame(RefPtr<Browser>(this), true, std::string()));
}

wxWindow* Browser::GetWindowHandle() const {
    return view;
}

void Browser::CloseBrowser() {
    if (view)
        view->Destroy();
}

void Browser::RunScript(const std::string& code) {
    if (!view)
        return;
    // Asynchronous, and straight to WebKit: wxWebView's RunScriptAsync wraps the
    // text in an eval of its own and hands the result to its window even after
    // that window is gone. The result is not wanted, so no callback is given:
    // with one, WebKit hands every call's value over as a JavaScript value made
    // in this process, which is work on the GUI thread for nothing.
    webkit_web_view_evaluate_javascript(static_cast<WebKitWebView*>(view->GetNativeBackend()), code.data(),
                                        static_cast<gssize>(code.size()), nullptr, nullptr, nullptr, nullptr, nullptr);
    ++scriptsInFlight;
    if (++scriptsSinceCheckpoint == kScriptsPerCheckpoint)
        SendCheckpoint();
}

void Browser::SendCheckpoint() {
    auto* checkpoint = new BrowserNative::Checkpoint{RefPtr<Browser>(this), scriptGeneration, scriptsSinceCheckpoint};
    scriptsSinceCheckpoint = 0;
    webkit_web_view_evaluate_javascript(static_cast<WebKitWebView*>(view->GetNativeBackend()), "0", 1, nullptr, nullptr,
                                        nullptr, &BrowserNative::CheckpointDone, checkpoint);
}

void Browser::OnCheckpoint(uint64_t generation, size_t scripts) {
    if (generation != scriptGeneration || !view)
        return;
    scriptsInFlight -= std::min(scripts, scriptsInFlight);
    if (client)
        client->OnScriptsRun(RefPtr<Browser>(this));
}

void Browser::ForgetScriptsInFlight() {
    ++scriptGeneration;
    scriptsInFlight = 0;
    scriptsSinceCheckpoint = 0;
}

void Browser::LoadHtml(const std::string& html, const std::string& url) {
    if (!view)
        return;
    if (inLoadFailed) {
        // Taken up when the failure handler returns: WebKit shows it in the failed page's place.
        replacementSet = true;
        replacementHtml = html;
        replacementBase = url;
        return;
    }
    webkit_web_view_load_html(static_cast<WebKitWebView*>(view->GetNativeBackend()), html.c_str(), url.c_str());
}

void Browser::LoadUrl(const std::string& url) {
    if (view)
        webkit_web_view_load_uri(static_cast<WebKitWebView*>(view->GetNativeBackend()), url.c_str());
}

std::string Browser::CurrentUrl() const {
    return view ? Utf8(view->GetCurrentURL()) : std::string();
}

void Browser::OnNavigated(wxWebViewEvent&) {
    initialBlank = false;
    // A new document: were the answers for the last one's scripts never to
    // come, no script would be sent again.
    ForgetScriptsInFlight();
    if (client) {
        client->OnLoadStart(RefPtr<Browser>(this), GetMainFrame());
        client->OnScriptsRun(RefPtr<Browser>(this));
    }
}

void Browser::OnLoaded(wxWebViewEvent& event) {
    if (initialBlank && event.GetURL() == "about:blank")
        return;
    if (skipNextLoaded) {
        skipNextLoaded = false;
        return;
    }
    int status = 0;
    auto* native = static_cast<WebKitWebView*>(view->GetNativeBackend());
    if (WebKitWebResource* resource = webkit_web_view_get_main_resource(native))
        if (WebKitURIResponse* response = webkit_web_resource_get_response(resource))
            status = static_cast<int>(webkit_uri_response_get_status_code(response));
    if (client)
        client->OnLoadEnd(RefPtr<Browser>(this), GetMainFrame(), status);
}

bool Browser::OnLoadFailed(const std::string& failedUrl, int errorCode, bool cancelled) {
    initialBlank = false;
    // WebKit reports an end for every failed load; that end is not a page load.
    skipNextLoaded = true;
    if (cancelled || !client || !view)
        return false;
    RefPtr<Browser> self(this);
    std::string errorText;
    inLoadFailed = true;
    replacementSet = false;
    failingUrl = failedUrl;
    client->OnLoadError(self, GetMainFrame(), errorCode, failedUrl, errorText);
    inLoadFailed = false;
    if (!view)
        return false;
    auto* native = static_cast<WebKitWebView*>(view->GetNativeBackend());
    if (replacementSet) {
        webkit_web_view_load_alternate_html(native, replacementHtml.c_str(), failingUrl.c_str(),
                                            replacementBase.c_str());
        return true;
    }
    if (!errorText.empty()) {
        webkit_web_view_load_alternate_html(native, errorText.c_str(), failingUrl.c_str(), failingUrl.c_str());
        return true;
    }
    return false;
}

void Browser::OnNewWindow(wxWebViewEvent& event) {
    if (client)
        client->OnPopupRequested(RefPtr<Browser>(this), GetMainFrame(), Utf8(event.GetURL()));
}

void Browser::OnScriptMessage(wxWebViewEvent& event) {
    // wx 3.2 leaves the handler's name empty; the layer registers only its own.
    if (!event.GetMessageHandler().empty() && event.GetMessageHandler() != kChannel)
        return;
    std::optional<std::vector<std::u16string>> items = ParseBridgeMessage(Utf8(event.GetString()));
    if (items && items->size() >= 3)
        DispatchMessage(*items);
}

RefPtr<Frame> Browser::FrameFor(bool main, const std::string& url) {
    return main ? GetMainFrame() : RefPtr<Frame>(new Frame(RefPtr<Browser>(this), false, url));
}

void Browser::DispatchMessage(const std::vector<std::u16string>& items) {
    RefPtr<Browser> self(this);
    const std::string kind = Utf16ToUtf8Lenient(items[0]);
    const std::string id = Utf16ToUtf8Lenient(items[1]);
    const bool main = items[2] == u"1";

    if (kind == "ctx") {
        if (main)
            contexts.clear();  // the previous document and its frames are gone
        std::string url = items.size() > 3 ? Utf16ToUtf8Lenient(items[3]) : std::string();
        RefPtr<Context> context(new Context(id, self, FrameFor(main, url)));
        contexts[id] = context;
        if (client)
            client->OnContextCreated(self, context->GetFrame(), context);
        return;
    }

    auto found = contexts.find(id);
    if (found == contexts.end())
        return;
    RefPtr<Context> context = found->second;

    if (kind == "call") {
        // kind, context, main, object, function, then a type and a text per argument
        if (items.size() < 5 || (items.size() - 5) % 2 != 0)
            return;
        const std::string objectName = Utf16ToUtf8Lenient(items[3]);
        const std::string function = Utf16ToUtf8Lenient(items[4]);
        RefPtr<Handler> handler = context->FindHandler(objectName, function);
        if (!handler)
            return;
        ValueList arguments;
        for (size_t i = 5; i < items.size(); i += 2)
            arguments.push_back(items[i] == u"s" ? Value::CreateString(items[i + 1])
                                                 : Value::CreateOther(items[i + 1]));
        RefPtr<Value> result;
        std::u16string exception;
        handler->Execute(items[4], Value::CreateOther(u"[object Object]"), arguments, result, exception);
    } else if (kind == "popup" && items.size() > 3) {
        if (client)
            client->OnPopupRequested(self, context->GetFrame(), Utf16ToUtf8Lenient(items[3]));
    } else if (kind == "refresh" && main) {
        if (client)
            client->OnRefreshRequested(self);
    }
}

void Browser::OnDestroyed() {
    RefPtr<Browser> self(this);
    view = nullptr;
    contexts.clear();
    if (client)
        client->OnBeforeClose(self);
    auto& browsers = LiveBrowsers();
    browsers.erase(std::remove(browsers.begin(), browsers.end(), self), browsers.end());
}

}  // namespace browser
