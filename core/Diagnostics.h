#pragma once

// The tray menu's Diagnostics: opens the page's diagnostics view (an empty
// report at once); the report itself is built on the task queue.
void ShowDiagnostics();
