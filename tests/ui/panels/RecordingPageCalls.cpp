#include "tests/ui/panels/RecordingPageCalls.h"

namespace {

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}
std::string Num(int64_t n) {
    return std::to_string(n);
}

}  // namespace

std::vector<std::string> RecordingPageCalls::Take() {
    std::vector<std::string> taken;
    taken.swap(calls);
    return taken;
}

std::vector<std::string> RecordingPageCalls::Of(const std::string& method) const {
    std::vector<std::string> found;
    for (const std::string& call : calls)
        if (call.compare(0, method.size() + 1, method + "(") == 0)
            found.push_back(call);
    return found;
}

void RecordingPageCalls::clearGamePanels() {
    calls.push_back("clearGamePanels()");
}

void RecordingPageCalls::addGamePanel(const std::string& name, const std::string& banner, const std::string& homePage,
                                      bool flag, int32_t gameId, bool loginRequired, int32_t timesPlayed,
                                      const std::string& iconUrl) {
    calls.push_back("addGamePanel(" + Quote(name) + ", " + Quote(banner) + ", " + Quote(homePage) + ", " + Num(flag) +
                    ", " + Num(gameId) + ", " + Num(loginRequired) + ", " + Num(timesPlayed) + ", " + Quote(iconUrl) +
                    ")");
}

void RecordingPageCalls::setGamePanelState(int32_t gameId, int32_t state) {
    calls.push_back("setGamePanelState(" + Num(gameId) + ", " + Num(state) + ")");
}

void RecordingPageCalls::startProgress(int32_t gameId) {
    calls.push_back("startProgress(" + Num(gameId) + ")");
}

void RecordingPageCalls::addPauseToProgress(int32_t gameId) {
    calls.push_back("addPauseToProgress(" + Num(gameId) + ")");
}

void RecordingPageCalls::addCancelToProgress(int32_t gameId) {
    calls.push_back("addCancelToProgress(" + Num(gameId) + ")");
}

void RecordingPageCalls::updateProgress(int32_t gameId, const std::string& status, int32_t done, int32_t total,
                                        int32_t speed, const std::string& recordText) {
    calls.push_back("updateProgress(" + Num(gameId) + ", " + Quote(status) + ", " + Num(done) + ", " + Num(total) +
                    ", " + Num(speed) + ", " + Quote(recordText) + ")");
}

void RecordingPageCalls::clickPanel(int32_t gameId) {
    calls.push_back("clickPanel(" + Num(gameId) + ")");
}

void RecordingPageCalls::clickGameButton(int32_t gameId) {
    calls.push_back("clickGameButton(" + Num(gameId) + ")");
}

void RecordingPageCalls::setSavedLogin(const std::string& password, const std::string& loginName) {
    calls.push_back("setSavedLogin(" + Quote(password) + ", " + Quote(loginName) + ")");
}

void RecordingPageCalls::setAuthToken(const std::string& token) {
    calls.push_back("setAuthToken(" + Quote(token) + ")");
}
