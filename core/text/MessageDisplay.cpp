#include "core/text/MessageDisplay.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "core/PageCallSink.h"
#include "core/telemetry/ErrorTask.h"
#include "core/text/Messages.h"
#include "core/threads/TaskManager.h"

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

std::string ShowLastError() {
    return ShowLastError(errno);
}

std::string ShowLastError(int errorNumber) {
    if (errorNumber == 0)
        return {};
    std::string text = std::strerror(errorNumber);
    ReportError(text);
    ShowPageMessage(text);
    return text;
}
