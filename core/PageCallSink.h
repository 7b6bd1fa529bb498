#pragma once
#include <string>

// The page calls that core/ and games/ make. The window implements it on its
// program-to-page builders; while no sink is installed (or the page is not
// there) calls are dropped. Text arguments are UTF-8. Each call does nothing
// unless overridden, so a sink states only the calls it serves.
class PageCallSink {
public:
    virtual ~PageCallSink() = default;

    virtual void showMessage(const std::string& /*text*/) {}
    virtual void trackEvent(const std::string& /*category*/, const std::string& /*action*/,
                            const std::string& /*label*/, int /*value*/) {}
    virtual void trackPageView(const std::string& /*first*/, const std::string& /*second*/) {}
    virtual void checkForValidSession() {}
    virtual void setManifestVersion(const std::string& /*version*/) {}
    virtual void setSavedLogin(const std::string& /*password*/, const std::string& /*loginName*/) {}
    virtual void setAuthToken(const std::string& /*token*/) {}
    virtual void onFileDialogOpen() {}
    virtual void onFileDialogClose() {}
    virtual void displayDiagnostics(const std::string& /*report*/) {}

    // The process-wide sink; never null (a sink that drops everything when none
    // is installed). Install and Current are safe from any thread.
    static PageCallSink& Current();
    static void Install(PageCallSink* sink);  // nullptr removes it
};
