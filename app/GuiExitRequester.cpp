#include "app/GuiExitRequester.h"

#include <wx/thread.h>

#include "app/Application.h"

void GuiExitRequester::RequestExit(int messageId) {
    Application* app = Application::Get();
    if (!app)
        return;
    if (wxIsMainThread())
        app->EndWithMessage(messageId);
    else
        app->CallAfter([app, messageId] { app->EndWithMessage(messageId); });
}
