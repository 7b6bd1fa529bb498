#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The notification-area icon as a StatusNotifierItem on the session bus, the way
// current panels host icons (the XEmbed tray is gone from most of them). The
// panel draws the menu itself from what the item exports; a chosen entry comes
// back as its id. The protocol has no click of its own here: the panel's
// "secondary activate" (a middle or plain click on many panels) counts as the
// entry given as activateId.
class StatusNotifierIcon {
public:
    struct Entry {
        int id;  // below 0: a separator
        std::string label;
    };

    StatusNotifierIcon(std::vector<Entry> entries, int activateId, std::function<void(int id)> onChoice);
    ~StatusNotifierIcon();
    StatusNotifierIcon(const StatusNotifierIcon&) = delete;
    StatusNotifierIcon& operator=(const StatusNotifierIcon&) = delete;

    // Whether a panel that hosts such items listens on the session bus now.
    static bool WatcherPresent();

    // iconName is looked up in iconThemePath first; title is also the tooltip.
    void Show(const std::string& iconThemePath, const std::string& iconName, const std::string& title);
    void Remove();
    bool IsShown() const { return shown; }

private:
    struct Native;
    std::unique_ptr<Native> native;
    std::vector<Entry> entries;
    int activateId;
    std::function<void(int)> onChoice;
    bool shown = false;
};
