#pragma once
#include "core/diagnostics/DiagnosticSnapshot.h"

// The tray menu's Diagnostics, on the GUI thread: opens the page's diagnostics
// view at once (an empty report), then queues the report's task with the
// snapshot (dropped when the queue is full).
void ShowDiagnostics(DiagnosticSnapshot snapshot);
