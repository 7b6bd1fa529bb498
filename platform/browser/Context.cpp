#include "platform/browser/Context.h"

#include <utility>

#include "platform/browser/Browser.h"
#include "platform/browser/Frame.h"

namespace browser {

Context::Context(std::string id, RefPtr<Browser> browser, RefPtr<Frame> frame)
    : id(std::move(id)), browser(std::move(browser)), frame(std::move(frame)) {}

void Context::BindObject(const std::string& objectName, const std::vector<std::string>& functions,
                         RefPtr<Handler> handler) {
    for (const std::string& function : functions)
        bound[objectName + "." + function] = handler;
}

RefPtr<Handler> Context::FindHandler(const std::string& objectName, const std::string& function) const {
    auto it = bound.find(objectName + "." + function);
    return it == bound.end() ? RefPtr<Handler>() : it->second;
}

}  // namespace browser
