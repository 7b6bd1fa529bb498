#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/browser/Handler.h"
#include "platform/browser/RefCounted.h"
#include "platform/browser/RefPtr.h"

namespace browser {

class Browser;
class Frame;

// One script context: the document of one frame, from its start until it is
// replaced. The page objects that the browser's settings declare exist in every
// context; BindObject connects their functions to a handler.
class Context : public RefCounted {
public:
    RefPtr<Browser> GetBrowser() const { return browser; }
    RefPtr<Frame> GetFrame() const { return frame; }
    const std::string& Id() const { return id; }

    // A call of one of `functions` on `objectName` reaches `handler`. Names the
    // browser's settings did not declare stay without effect.
    void BindObject(const std::string& objectName, const std::vector<std::string>& functions, RefPtr<Handler> handler);
    // The handler bound to the function, or empty.
    RefPtr<Handler> FindHandler(const std::string& objectName, const std::string& function) const;

private:
    friend class Browser;
    Context(std::string id, RefPtr<Browser> browser, RefPtr<Frame> frame);

    std::string id;
    RefPtr<Browser> browser;
    RefPtr<Frame> frame;
    std::map<std::string, RefPtr<Handler>> bound;  // "object.function" -> handler
};

}  // namespace browser
