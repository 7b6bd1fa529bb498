#include "tests/ui/ProgramRig.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "core/settings/Prefs.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/ui/GuiSession.h"

namespace {

const char kManifest[] =
    "<manifest><autoupdate version=\"31680\" manifestrefreshtime=\"7200\" manifestversion=\"test-1\"/>"
    "<download name=\"Space Game\" id=\"7\" homepage=\"http://127.0.0.1/sg\" banner=\"sg.png\"/></manifest>";

}  // namespace

ProgramRig::ProgramRig(TestEnvironment& env, const std::string& user) {
    GuiSession::UseSystemMimeTypes();
    GuiSession::EnsureDisplay();
    home = env.Path(user + "/home");
    runtime = env.Path(user + "/runtime");
    hive = env.Path(user + "/hkcu.reg");
    activityLog = env.Path(user + "/activity.log");
    pageCallLog = env.Path(user + "/page-calls.log");
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    service.Serve("/quor/manifest.php", kManifest);
    service.Serve("/quor/t.php", "");
    service.Serve("/quor/error.php", "");
}

std::vector<std::string> ProgramRig::Environment() const {
    std::vector<std::string> variables = {
        "HOME=" + home,
        "XDG_CONFIG_HOME=" + home + "/.config",
        "XDG_DATA_HOME=" + home + "/.local/share",
        "XDG_CACHE_HOME=" + home + "/.cache",
        "XDG_RUNTIME_DIR=" + runtime,
        "QUOR_HKCU_FILE=" + hive,
        "QUOR_SERVICE_URL=" + service.BaseUrl(),
        "QUOR_ACTIVITY_LOG=" + activityLog,
        "QUOR_PAGE_CALL_LOG=" + pageCallLog,
    };
    // An activation of the shell that runs the tests must not reach Quor: the
    // hand-over would carry it. Empty counts as none; a test may set its own.
    for (const char* name : {"DESKTOP_STARTUP_ID=", "XDG_ACTIVATION_TOKEN="}) {
        bool given = false;
        for (const std::string& e : extra)
            given = given || e.rfind(name, 0) == 0;
        if (!given)
            variables.push_back(name);
    }
    variables.insert(variables.end(), extra.begin(), extra.end());
    return variables;
}

std::unique_ptr<QuorProcess> ProgramRig::Start(const std::vector<std::string>& arguments) const {
    return std::make_unique<QuorProcess>(arguments, Environment());
}

std::unique_ptr<QuorProcess> ProgramRig::StartFirst(const std::vector<std::string>& arguments) {
    size_t before = PageCalls().size();
    auto process = Start(arguments);
    // Ready once the start page has loaded and the first-load sequence has run.
    WaitUntil(
        [&] {
            std::vector<std::string> calls = PageCalls();
            for (size_t i = before; i < calls.size(); ++i)
                if (calls[i] == "delivered $('#main-content').brq('clearGamePanels');")
                    return true;
            return !process->IsRunning();
        },
        30000);
    return process;
}

bool ProgramRig::WaitForActivity(const std::string& line, size_t from, int timeoutMs) const {
    return WaitUntil(
        [&] {
            std::vector<std::string> lines = Activity();
            return lines.size() > from &&
                   std::find(lines.begin() + static_cast<long>(from), lines.end(), line) != lines.end();
        },
        timeoutMs);
}

bool ProgramRig::WaitForPageCall(const std::string& call, int timeoutMs) const {
    return WaitUntil(
        [&] {
            std::vector<std::string> calls = PageCalls();
            return std::find(calls.begin(), calls.end(), "delivered " + call) != calls.end();
        },
        timeoutMs);
}

namespace {

// Points this process's store at the user's hive for one call.
template <typename F>
auto WithHive(const std::string& hive, F f) {
    std::string saved = std::getenv("QUOR_HKCU_FILE") ? std::getenv("QUOR_HKCU_FILE") : "";
    setenv("QUOR_HKCU_FILE", hive.c_str(), 1);
    auto result = f();
    setenv("QUOR_HKCU_FILE", saved.c_str(), 1);
    return result;
}

}  // namespace

std::string ProgramRig::PrefString(const std::string& name) const {
    return WithHive(hive, [&] { return Prefs::GetString(name); });
}

uint32_t ProgramRig::PrefNumber(const std::string& name) const {
    return WithHive(hive, [&] { return Prefs::GetNumber(name); });
}

void ProgramRig::SetPrefNumber(const std::string& name, uint32_t value) const {
    WithHive(hive, [&] {
        Prefs::SetNumber(name, value);
        return 0;
    });
}
