#pragma once
#include <cstdint>
#include <string>

#include "games/ProgressRecord.h"

class PanelPageCalls;

// A game panel's record of the progress bar the page draws: the last fraction
// and speed shown, and what kind of work runs, which picks the status text.
class ProgressBar {
public:
    ProgressBar(std::string gameName, int32_t gameId);
    virtual ~ProgressBar() = default;

    // Stores the record's fraction and speed, builds the status line in the
    // language ("en", "tr", "de", "es", "pt") and hands both to the page.
    void Show(const ProgressRecord& record, const std::string& language, PanelPageCalls& page);

    // The same with the paused text whatever runs: a page that starts afresh
    // learns from it that this download is paused.
    void ShowPaused(const ProgressRecord& record, const std::string& language, PanelPageCalls& page);

    // The status line for the current flags, fraction and speed. An unknown
    // language gives an empty text, except for the installation check.
    std::string StatusText(const std::string& language) const;
    int Percent() const;  // whole percent, truncated

    // What runs: a patch download, a patch being applied, an installation check.
    void SetDownloadingPatch();
    void SetPatching();
    void SetChecking();
    void ClearPatch();
    void ClearChecking() { checking = false; }
    void SetPaused(bool value) { paused = value; }

    const std::string& GameName() const { return gameName; }
    int32_t GameId() const { return gameId; }
    float Fraction() const { return fraction; }
    int32_t Speed() const { return speed; }
    bool Paused() const { return paused; }
    bool DownloadingPatch() const { return downloadingPatch; }
    bool Patching() const { return patching; }
    bool Checking() const { return checking; }

    // done / total clamped to 0..1; 0 for a total of 0.
    static float FractionOf(const ProgressRecord& record);

private:
    std::string TextFor(const std::string& language, bool forcePaused) const;

    std::string gameName;
    float fraction = 0.0f;
    int32_t speed = 0;
    bool paused = false;
    bool downloadingPatch = false;
    bool patching = false;
    bool checking = false;
    int32_t gameId;
};
