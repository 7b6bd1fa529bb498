#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/QuorProcess.h"

// A session bus of the test's own (dbus-run-session), with a panel's
// StatusNotifierWatcher on it unless told otherwise (tests/ui/StatusNotifierWatcher.py).
// The watcher records each item that registers and reads its properties and
// its menu through the dbusmenu protocol.
class SessionBus {
public:
    struct MenuEntry {
        int id = 0;  // the menu protocol's own id
        std::string type;
        bool visible = false;
        std::string label;
    };
    struct Item {
        std::string name, path;  // empty until an item registered
        std::map<std::string, std::string> properties;
        std::vector<MenuEntry> menu;
    };

    SessionBus(TestEnvironment& env, bool withWatcher = true);

    // For the program's environment.
    std::string Variable() const { return "DBUS_SESSION_BUS_ADDRESS=" + address; }
    // Starts a watcher now, on the running bus (a panel started later).
    void StartWatcher();

    std::vector<std::string> Events() const;
    bool WaitForEvent(const std::string& line, int timeoutMs = 20000) const;
    Item LastItem() const;
    // Waits until the item's last reading has the property at that value.
    bool WaitForProperty(const std::string& name, const std::string& value, int timeoutMs = 20000) const;

    // Calls a method of the registered item ("object" is its path or its menu's)
    // with gdbus; true when the call was answered.
    bool Call(const std::string& object, const std::string& method, const std::vector<std::string>& arguments) const;
    // Clicks the menu entry with that label through the menu protocol.
    bool Click(const std::string& label) const;

    std::string address;

private:
    std::string folder;
    std::unique_ptr<QuorProcess> session;
    std::unique_ptr<QuorProcess> lateWatcher;
};
