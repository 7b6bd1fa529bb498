// Provisional: message display without the language tables; the full table replaces it.
#include "core/Messages.h"

#include <memory>

#include "core/ErrorTask.h"
#include "core/PageCallSink.h"
#include "core/TaskManager.h"

std::string GetStringForLanguage(int id, const std::string&) {
    return id == 0 ? "Brindlemoor Quor!" : std::string();
}

std::string GetLocalizedString(int id) { return GetStringForLanguage(id, "en"); }
std::string GetEnglishString(int id) { return GetStringForLanguage(id, "en"); }

void ShowMessage(int id) {
    ReportError(GetEnglishString(id));
    ShowPageMessage(GetLocalizedString(id));
}

void ShowPageMessage(const std::string& text) {
    PageCallSink::Current().showMessage(text);
}

void ReportError(const std::string& text) {
    TaskManager::Queue(std::make_unique<ErrorTask>(text));
}
