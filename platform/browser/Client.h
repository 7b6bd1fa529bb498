#pragma once
#include <string>

#include "platform/browser/Context.h"
#include "platform/browser/RefCounted.h"
#include "platform/browser/RefPtr.h"

namespace browser {

class Browser;
class Frame;

// What a browser tells its owner. Every call comes on the GUI thread. The
// defaults do nothing.
class Client : public RefCounted {
public:
    // The browser exists (called once, before its first load starts).
    virtual void OnAfterCreated(RefPtr<Browser>) {}
    // The browser's window is going away.
    virtual void OnBeforeClose(RefPtr<Browser>) {}

    // A load of the main frame has started or ended. Every ended load counts,
    // an error page's included; the end that WebKit reports right after a
    // failure (for the failed load itself) is not passed on.
    virtual void OnLoadStart(RefPtr<Browser>, RefPtr<Frame>) {}
    virtual void OnLoadEnd(RefPtr<Browser>, RefPtr<Frame>, int /*httpStatusCode*/) {}
    // A load of the main frame failed (cancelled loads are not failures). The
    // client may call frame->LoadString to put its own page in place, or fill
    // errorText with HTML to be shown; otherwise WebKit shows its own page.
    virtual bool OnLoadError(RefPtr<Browser>, RefPtr<Frame>, int /*errorCode*/, const std::string& /*failedUrl*/,
                             std::string& /*errorText*/) {
        return false;
    }

    // A new document's script context exists (main frame or a frame inside).
    virtual void OnContextCreated(RefPtr<Browser>, RefPtr<Frame>, RefPtr<Context>) {}

    // The page asked for a new window (window.open or a link with a target);
    // no window is made. The address is resolved against the page.
    virtual void OnPopupRequested(RefPtr<Browser>, RefPtr<Frame>, const std::string& /*url*/) {}
    // The main frame's document posted the message {type: 'refresh-interface'}.
    virtual void OnRefreshRequested(RefPtr<Browser>) {}
    // The page has run scripts it was given (or the document they were for is
    // gone): Browser::CanTakeScript may be true again.
    virtual void OnScriptsRun(RefPtr<Browser>) {}
};

}  // namespace browser
