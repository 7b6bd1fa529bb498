#pragma once
#include <string>

// The page calls that core/ and games/ make. The window implements it on its
// program-to-page builders; while no sink is installed (or the page is not
// there) calls are dropped. Text arguments are UTF-8.
class PageCallSink {
public:
    virtual ~PageCallSink() = default;

    virtual void showMessage(const std::string& text) = 0;
    virtual void trackEvent(const std::string& category, const std::string& action,
                            const std::string& label, int value) = 0;
    virtual void trackPageView(const std::string& first, const std::string& second) = 0;
    virtual void checkForValidSession() = 0;
    virtual void setManifestVersion(const std::string& version) = 0;
    virtual void setSavedLogin(const std::string& password, const std::string& loginName) = 0;
    virtual void setAuthToken(const std::string& token) = 0;
    virtual void onFileDialogOpen() = 0;
    virtual void onFileDialogClose() = 0;
    virtual void displayDiagnostics(const std::string& report) = 0;

    // The process-wide sink; never null (a sink that drops everything when none
    // is installed). Install and Current are safe from any thread.
    static PageCallSink& Current();
    static void Install(PageCallSink* sink);  // nullptr removes it
};
