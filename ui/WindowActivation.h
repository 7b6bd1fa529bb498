#pragma once
#include <string>

class wxTopLevelWindow;

// Brings a window forward with the activation its starter was given (an X11
// startup id or a Wayland activation token): a window manager that blocks
// focus stealing lets such a window through, where raising alone leaves it
// behind.
void PresentWithActivation(wxTopLevelWindow& window, const std::string& activation);
