#include "ui/panels/ProgressBar.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "ui/panels/PanelPageCalls.h"

namespace {

enum class Work { Patching, DownloadingPatch, Paused, Checking, Downloading };

// Column order: en, tr, de, es, pt. In the two Portuguese texts with two blanks
// after the percent sign, the first is a no-break space.
const char* const kLanguages[] = {"en", "tr", "de", "es", "pt"};

const char* const kPatching[] = {"Patching: %d%%", "Yama: %d%%", "Patching: %d%%", "Remendar: %d%%",
                                 "Atualizando: %d%%"};
const char* const kDownloadingPatch[] = {
    "Downloading Patch: %d%%  (%d KB/s)",
    "Yama Y\u00fcklemesi: %d%%  (%d KB/s)",
    "Patch Download: %d%%  (%d KB/s)",
    "Transferencia del Remiendo: %d%%  (%d KB/s)",
    "Download de Atualiza\u00e7\u00f5es: %d%%\u00a0 (%d KB/s)",
};
const char* const kPaused[] = {"%d%%  (Paused)", "%d%%  (Durdu)", "%d%%  (angehalten)", "%d%%  (Pausado)",
                               "%d%%\u00a0 (Pausado)"};
const char* const kChecking = "Checking Install: %d%%";
const char* const kDownloading = "%d%%  (%d KB/s)";

int LanguageIndex(const std::string& language) {
    for (int i = 0; i < 5; ++i)
        if (language == kLanguages[i])
            return i;
    return -1;
}

// The whole part, kept inside the page's 32-bit numbers.
int32_t WholePart(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace

ProgressBar::ProgressBar(std::string gameName, int32_t gameId) : gameName(std::move(gameName)), gameId(gameId) {}

float ProgressBar::FractionOf(const ProgressRecord& record) {
    if (record.total == 0)
        return 0.0f;
    // Single precision first, as the page has always been shown it.
    double value = static_cast<float>(record.done) / record.total;
    if (std::isnan(value) || value < 0)
        return 0.0f;
    if (value > 1)
        return 1.0f;
    return static_cast<float>(value);
}

int ProgressBar::Percent() const {
    return static_cast<int>(fraction * 100.0f);
}

std::string ProgressBar::StatusText(const std::string& language) const {
    return TextFor(language, false);
}

std::string ProgressBar::TextFor(const std::string& language, bool forcePaused) const {
    Work work = forcePaused        ? Work::Paused
                : patching         ? Work::Patching
                : downloadingPatch ? Work::DownloadingPatch
                : paused           ? Work::Paused
                : checking         ? Work::Checking
                                   : Work::Downloading;
    int column = LanguageIndex(language);
    const char* format = nullptr;
    switch (work) {
    case Work::Patching: format = column < 0 ? nullptr : kPatching[column]; break;
    case Work::DownloadingPatch: format = column < 0 ? nullptr : kDownloadingPatch[column]; break;
    case Work::Paused: format = column < 0 ? nullptr : kPaused[column]; break;
    case Work::Checking: format = kChecking; break;
    case Work::Downloading: format = column < 0 ? nullptr : kDownloading; break;
    }
    if (!format)
        return {};
    char buffer[1024];
    int length = std::snprintf(buffer, sizeof buffer, format, Percent(), speed);
    if (length < 0)
        return {};
    return std::string(buffer, static_cast<size_t>(length) < sizeof buffer ? length : sizeof buffer - 1);
}

void ProgressBar::Show(const ProgressRecord& record, const std::string& language, PanelPageCalls& page) {
    fraction = FractionOf(record);
    speed = record.speed;
    page.updateProgress(gameId, StatusText(language), WholePart(record.done), WholePart(record.total), record.speed,
                        record.text);
}

void ProgressBar::ShowPaused(const ProgressRecord& record, const std::string& language, PanelPageCalls& page) {
    fraction = FractionOf(record);
    speed = record.speed;
    page.updateProgress(gameId, TextFor(language, true), WholePart(record.done), WholePart(record.total), record.speed,
                        record.text);
}

void ProgressBar::SetDownloadingPatch() {
    downloadingPatch = true;
    patching = false;
}

void ProgressBar::SetPatching() {
    downloadingPatch = false;
    patching = true;
}

void ProgressBar::SetChecking() {
    checking = true;
    downloadingPatch = false;
    patching = false;
}

void ProgressBar::ClearPatch() {
    downloadingPatch = false;
    patching = false;
}
