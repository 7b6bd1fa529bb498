#include "core/Diagnostics.h"

#include <memory>

#include "core/DiagnosticTask.h"
#include "core/PageCallSink.h"
#include "core/TaskManager.h"

void ShowDiagnostics(DiagnosticSnapshot snapshot) {
    PageCallSink::Current().displayDiagnostics("");
    TaskManager::Queue(std::make_unique<DiagnosticTask>(std::move(snapshot)));
}
