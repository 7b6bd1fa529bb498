#pragma once
#include <string>
#include <vector>

#include "ui/panels/PanelPageCalls.h"

// Records every page call as one line: the method, then its arguments in
// brackets, strings quoted ("setGamePanelState(7, 3)", "setAuthToken('t')").
class RecordingPageCalls final : public PanelPageCalls {
public:
    std::vector<std::string> calls;

    std::vector<std::string> Take();  // the calls so far, then none
    // The calls whose line starts with the method name.
    std::vector<std::string> Of(const std::string& method) const;

    void clearGamePanels() override;
    void addGamePanel(const std::string& name, const std::string& banner, const std::string& homePage, bool flag,
                      int32_t gameId, bool loginRequired, int32_t timesPlayed, const std::string& iconUrl) override;
    void setGamePanelState(int32_t gameId, int32_t state) override;
    void startProgress(int32_t gameId) override;
    void addPauseToProgress(int32_t gameId) override;
    void addCancelToProgress(int32_t gameId) override;
    void updateProgress(int32_t gameId, const std::string& status, int32_t done, int32_t total, int32_t speed,
                        const std::string& recordText) override;
    void clickPanel(int32_t gameId) override;
    void clickGameButton(int32_t gameId) override;
    void setSavedLogin(const std::string& password, const std::string& loginName) override;
    void setAuthToken(const std::string& token) override;
};
