#pragma once
#include <functional>

#include "core/ExitRequester.h"

class wxEvtHandler;

// Carries an exit request out on the GUI thread, whichever thread asked: the
// given end runs there (at once on the GUI thread, posted to the handler from
// a worker, whose request returns at once).
class GuiExitRequester : public ExitRequester {
public:
    GuiExitRequester(wxEvtHandler& gui, std::function<void(int)> end);
    void RequestExit(int messageId) override;

private:
    wxEvtHandler& gui;
    std::function<void(int)> end;
};
