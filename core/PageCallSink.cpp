#include "core/PageCallSink.h"

#include <atomic>

namespace {

class DroppingSink final : public PageCallSink {
public:
    void showMessage(const std::string&) override {}
    void trackEvent(const std::string&, const std::string&, const std::string&, int) override {}
    void trackPageView(const std::string&, const std::string&) override {}
    void checkForValidSession() override {}
    void setManifestVersion(const std::string&) override {}
    void setSavedLogin(const std::string&, const std::string&) override {}
    void setAuthToken(const std::string&) override {}
    void onFileDialogOpen() override {}
    void onFileDialogClose() override {}
    void displayDiagnostics(const std::string&) override {}
};

DroppingSink dropping;
std::atomic<PageCallSink*> installed{nullptr};

}  // namespace

PageCallSink& PageCallSink::Current() {
    PageCallSink* sink = installed.load();
    return sink ? *sink : dropping;
}

void PageCallSink::Install(PageCallSink* sink) {
    installed.store(sink);
}
