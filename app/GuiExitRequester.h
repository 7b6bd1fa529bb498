#pragma once
#include "core/ExitRequester.h"

// Carries an exit request out on the GUI thread (Application::EndWithMessage),
// whichever thread asked. A worker's request returns at once.
class GuiExitRequester : public ExitRequester {
public:
    void RequestExit(int messageId) override;
};
