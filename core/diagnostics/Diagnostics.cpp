#include "core/diagnostics/Diagnostics.h"

#include <memory>

#include "core/PageCallSink.h"
#include "core/diagnostics/DiagnosticTask.h"
#include "core/threads/TaskManager.h"

void ShowDiagnostics(DiagnosticSnapshot snapshot) {
    PageCallSink::Current().displayDiagnostics("");
    TaskManager::Queue(std::make_unique<DiagnosticTask>(std::move(snapshot)));
}
