#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/browser/BridgeScript.h"
#include "platform/browser/Client.h"
#include "platform/browser/Context.h"
#include "platform/browser/Frame.h"
#include "platform/browser/RefCounted.h"
#include "platform/browser/RefPtr.h"

class wxWindow;
class wxWebView;
class wxWebViewEvent;

namespace browser {

struct BrowserSettings {
    // The page objects every document gets (see BuildBridgeScript).
    std::vector<ScriptObject> scriptObjects;
};

// One embedded browser: a WebKitGTK web view (through wxWebView) in a parent
// window, its page objects, and the client it reports to. Everything but
// Frame::ExecuteJavaScript is for the GUI thread.
//
// The page runs the scripts it is given one after the other; those it has not
// run yet wait inside WebKit, out of the program's reach. So the browser counts
// the scripts in flight: after every kScriptsPerCheckpoint of them it hands over
// a script of no effect whose answer confirms all before it, and CanTakeScript
// tells a caller with more to send whether the page has fallen behind.
class Browser : public RefCounted {
public:
    static constexpr size_t kScriptsPerCheckpoint = 64;
    static constexpr size_t kMaxScriptsInFlight = 8 * kScriptsPerCheckpoint;

    // Creates the web view at (x, y) with the given size, tells the client
    // (OnAfterCreated) and starts loading the address.
    static RefPtr<Browser> CreateBrowser(wxWindow* parent, int x, int y, int width, int height, RefPtr<Client> client,
                                         const std::string& url, const BrowserSettings& settings);
    // Closes every browser of the process (the program's exit).
    static void Shutdown();

    RefPtr<Frame> GetMainFrame();
    // The web view's window; null once the browser is closed.
    wxWindow* GetWindowHandle() const;
    RefPtr<Client> GetClient() const { return client; }
    // Destroys the web view; the client hears OnBeforeClose.
    void CloseBrowser();
    // Fewer than kMaxScriptsInFlight scripts wait for the page (the client hears
    // OnScriptsRun when that may have changed).
    bool CanTakeScript() const { return scriptsInFlight < kMaxScriptsInFlight; }

private:
    friend class Frame;
    friend struct BrowserNative;
    Browser(RefPtr<Client> client);
    ~Browser() override;

    void Attach(wxWebView* view, const BrowserSettings& settings);
    void RunScript(const std::string& code);
    void SendCheckpoint();
    void OnCheckpoint(uint64_t generation, size_t scripts);
    // The scripts sent to a document that is gone count no more.
    void ForgetScriptsInFlight();
    void LoadHtml(const std::string& html, const std::string& url);
    void LoadUrl(const std::string& url);
    std::string CurrentUrl() const;

    void OnNavigated(wxWebViewEvent& event);
    void OnLoaded(wxWebViewEvent& event);
    void OnNewWindow(wxWebViewEvent& event);
    void OnScriptMessage(wxWebViewEvent& event);
    void OnDestroyed();
    // The native "load-failed" signal; true when a page of ours took the failed one's place.
    bool OnLoadFailed(const std::string& failedUrl, int errorCode, bool cancelled);
    void DispatchMessage(const std::vector<std::u16string>& items);
    RefPtr<Frame> FrameFor(bool main, const std::string& url);

    RefPtr<Client> client;
    wxWebView* view = nullptr;
    bool initialBlank = true;     // WebKit's own first about:blank load is not ours
    bool skipNextLoaded = false;  // the load end WebKit reports for a failed load
    bool inLoadFailed = false;
    std::string failingUrl;
    bool replacementSet = false;
    std::string replacementHtml;
    std::string replacementBase;
    std::map<std::string, RefPtr<Context>> contexts;
    size_t scriptsInFlight = 0;
    size_t scriptsSinceCheckpoint = 0;
    uint64_t scriptGeneration = 0;  // checkpoints of an earlier generation are ignored
};

}  // namespace browser
