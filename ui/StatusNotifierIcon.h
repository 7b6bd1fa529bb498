#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The notification-area icon as a StatusNotifierItem on the session bus, the way
// current panels host icons (the XEmbed tray is gone from most of them). The
// panel draws the menu itself from what the item exports; a chosen entry comes
// back as its id. A click on the icon itself reaches the item as an activation
// ("Activate", or "SecondaryActivate" on panels that open the menu on a plain
// click) and comes back as onActivate. Both run on the GUI thread. The object
// lives as long as the program: the bus keeps pointers to it.
class StatusNotifierIcon {
public:
    struct Entry {
        int id;  // below 0: a separator
        std::string label;
    };

    StatusNotifierIcon(std::vector<Entry> entries, std::function<void(int id)> onChoice,
                       std::function<void()> onActivate);
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
    std::function<void(int)> onChoice;
    std::function<void()> onActivate;
    bool shown = false;
};
