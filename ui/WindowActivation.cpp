#include "ui/WindowActivation.h"

#include <gtk/gtk.h>
#include <wx/toplevel.h>

void PresentWithActivation(wxTopLevelWindow& window, const std::string& activation) {
    GtkWidget* widget = window.GetHandle();
    if (!widget || !GTK_IS_WINDOW(widget))
        return;
    if (!activation.empty())
        gtk_window_set_startup_id(GTK_WINDOW(widget), activation.c_str());
    gtk_window_present(GTK_WINDOW(widget));
}
