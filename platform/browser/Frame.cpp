#include "platform/browser/Frame.h"

#include <utility>

#include <wx/app.h>
#include <wx/thread.h>

#include "platform/browser/Browser.h"

namespace browser {

Frame::Frame(RefPtr<Browser> browser, bool main, std::string url)
    : browser(std::move(browser)), main(main), url(std::move(url)) {}

RefPtr<Browser> Frame::GetBrowser() const {
    return browser;
}

std::string Frame::GetURL() const {
    return main && browser ? browser->CurrentUrl() : url;
}

void Frame::ExecuteJavaScript(const std::string& code, const std::string&, int) {
    if (!main || !browser)
        return;
    if (wxIsMainThread()) {
        browser->RunScript(code);
        return;
    }
    if (wxTheApp) {
        RefPtr<Browser> target = browser;
        wxTheApp->CallAfter([target, code] { target->RunScript(code); });
    }
}

void Frame::LoadString(const std::string& html, const std::string& address) {
    if (main && browser)
        browser->LoadHtml(html, address);
}

void Frame::LoadURL(const std::string& address) {
    if (main && browser)
        browser->LoadUrl(address);
}

}  // namespace browser
