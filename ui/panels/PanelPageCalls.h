#pragma once
#include <cstdint>
#include <string>

// The page methods the game panels call. The window implements them on its
// page-call builders; tests record them. Called on the GUI thread; text is UTF-8.
class PanelPageCalls {
public:
    virtual ~PanelPageCalls() = default;

    virtual void clearGamePanels() = 0;
    virtual void addGamePanel(const std::string& name, const std::string& banner, const std::string& homePage,
                              bool flag, int32_t gameId, bool loginRequired, int32_t timesPlayed,
                              const std::string& iconUrl) = 0;
    virtual void setGamePanelState(int32_t gameId, int32_t state) = 0;
    virtual void startProgress(int32_t gameId) = 0;
    virtual void addPauseToProgress(int32_t gameId) = 0;
    virtual void addCancelToProgress(int32_t gameId) = 0;
    virtual void updateProgress(int32_t gameId, const std::string& status, int32_t done, int32_t total, int32_t speed,
                                const std::string& recordText) = 0;
    virtual void clickPanel(int32_t gameId) = 0;
    virtual void clickGameButton(int32_t gameId) = 0;
    virtual void setSavedLogin(const std::string& password, const std::string& loginName) = 0;
    virtual void setAuthToken(const std::string& token) = 0;
};
