// Provisional: opens the view only; the diagnostic report's task replaces this.
#include "core/Diagnostics.h"

#include "core/PageCallSink.h"

void ShowDiagnostics() {
    PageCallSink::Current().displayDiagnostics("");
}
