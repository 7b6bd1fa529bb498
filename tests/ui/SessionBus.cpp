#include "tests/ui/SessionBus.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

const std::string kWatcher = std::string(QUOR_SOURCE_DIR) + "/tests/ui/StatusNotifierWatcher.py";

}  // namespace

SessionBus::SessionBus(TestEnvironment& env, bool withWatcher) {
    folder = env.Path("session-bus");
    std::filesystem::create_directories(folder);
    std::vector<std::string> arguments{"--", "/usr/bin/python3", kWatcher, folder};
    if (!withWatcher)
        arguments.push_back("--no-watcher");
    session = std::make_unique<QuorProcess>(arguments, std::vector<std::string>{}, "/usr/bin/dbus-run-session");
    std::string file = folder + "/address";
    if (!WaitUntil([&] { return std::filesystem::exists(file) || !session->IsRunning(); }, 20000) ||
        !std::filesystem::exists(file))
        throw std::runtime_error("no session bus: " + session->Output());
    address = TestEnvironment::ReadFile(file);
}

void SessionBus::StartWatcher() {
    std::filesystem::remove(folder + "/address");
    lateWatcher = std::make_unique<QuorProcess>(std::vector<std::string>{kWatcher, folder},
                                                std::vector<std::string>{Variable()}, "/usr/bin/python3");
    if (!WaitUntil([&] { return std::filesystem::exists(folder + "/address"); }, 20000))
        throw std::runtime_error("no watcher: " + lateWatcher->Output());
}

std::vector<std::string> SessionBus::Events() const {
    return FileLines(folder + "/events");
}

bool SessionBus::WaitForEvent(const std::string& line, int timeoutMs) const {
    return WaitUntil(
        [&] {
            std::vector<std::string> events = Events();
            return std::find(events.begin(), events.end(), line) != events.end();
        },
        timeoutMs);
}

SessionBus::Item SessionBus::LastItem() const {
    Item item;
    for (const std::string& line : FileLines(folder + "/item")) {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "item") {
            in >> item.name >> item.path;
        } else if (kind == "property") {
            std::string name, value;
            in >> name;
            in.get();
            std::getline(in, value);
            item.properties[name] = value;
        } else if (kind == "menu") {
            MenuEntry entry;
            int visible = 0;
            in >> entry.id >> entry.type >> visible;
            entry.visible = visible != 0;
            in.get();
            std::getline(in, entry.label);
            item.menu.push_back(entry);
        }
    }
    return item;
}

bool SessionBus::WaitForProperty(const std::string& name, const std::string& value, int timeoutMs) const {
    return WaitUntil(
        [&] {
            Item item = LastItem();
            auto found = item.properties.find(name);
            return found != item.properties.end() && found->second == value;
        },
        timeoutMs);
}

bool SessionBus::Call(const std::string& object, const std::string& method,
                      const std::vector<std::string>& arguments) const {
    Item item = LastItem();
    if (item.name.empty())
        return false;
    std::vector<std::string> argv{"/usr/bin/env", Variable(),      "/usr/bin/gdbus", "call",     "--session", "--dest",
                                  item.name,      "--object-path", object,           "--method", method};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ChildProcess::Run(argv).exitCode == 0;
}

bool SessionBus::Click(const std::string& label) const {
    // The watcher reads the menu a moment after the item registers.
    Item item;
    const MenuEntry* found = nullptr;
    WaitUntil(
        [&] {
            item = LastItem();
            found = nullptr;
            for (const MenuEntry& entry : item.menu)
                if (entry.label == label)
                    found = &entry;
            return found != nullptr;
        },
        10000);
    if (!found)
        return false;
    return Call(item.properties["Menu"], "com.canonical.dbusmenu.Event",
                {std::to_string(found->id), "clicked", "<0>", "0"});
}
