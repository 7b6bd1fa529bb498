#include "app/GuiExitRequester.h"

#include <utility>

#include <wx/event.h>
#include <wx/thread.h>

GuiExitRequester::GuiExitRequester(wxEvtHandler& gui, std::function<void(int)> end) : gui(gui), end(std::move(end)) {}

void GuiExitRequester::RequestExit(int messageId) {
    if (wxIsMainThread())
        end(messageId);
    else
        gui.CallAfter([this, messageId] { end(messageId); });
}
