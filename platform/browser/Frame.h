#pragma once
#include <string>

#include "platform/browser/RefCounted.h"
#include "platform/browser/RefPtr.h"

namespace browser {

class Browser;

// A frame of a browser: its main frame, or a frame inside the page (known by its
// script context only; script runs and loads happen in the main frame).
class Frame : public RefCounted {
public:
    bool IsMain() const { return main; }
    RefPtr<Browser> GetBrowser() const;
    // The document's address (for the main frame, the web view's current address).
    std::string GetURL() const;

    // Runs the script text in the page, never waiting for it: from any thread,
    // handed to the GUI thread. The address and line only label the script.
    void ExecuteJavaScript(const std::string& code, const std::string& scriptUrl, int startLine);
    // Shows the HTML text as the document at `url` (relative addresses resolve
    // against it). Called from a load-error callback, it takes the failed page's place.
    void LoadString(const std::string& html, const std::string& url);
    void LoadURL(const std::string& url);

private:
    friend class Browser;
    Frame(RefPtr<Browser> browser, bool main, std::string url);

    RefPtr<Browser> browser;
    bool main;
    std::string url;
};

}  // namespace browser
