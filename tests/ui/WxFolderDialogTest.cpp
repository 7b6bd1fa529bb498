#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <functional>

#include <wx/app.h>
#include <wx/timer.h>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/GuiSession.h"
#include "ui/WxFolderDialog.h"

namespace {

// Plays the user: once the folder chooser is on screen (inside its modal loop),
// acts on it as GTK sees it.
class DialogUser : public wxTimer {
public:
    explicit DialogUser(std::function<void(GtkWidget*)> act) : act(std::move(act)) { Start(20); }

    std::string title;

    void Notify() override {
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w; w = w->next) {
            GtkWidget* widget = GTK_WIDGET(w->data);
            // Mapped, not only shown: the chooser picks its start-up view (the
            // recent files) when it is mapped, over a folder asked for before.
            if (GTK_IS_FILE_CHOOSER_DIALOG(widget) && gtk_widget_get_mapped(widget)) {
                Stop();
                const char* t = gtk_window_get_title(GTK_WINDOW(widget));
                title = t ? t : "";
                act(widget);
                break;
            }
        }
        g_list_free(windows);
    }

private:
    std::function<void(GtkWidget*)> act;
};

void AcceptWhenSelected(GtkWidget* d, const std::string& folder, int triesLeft) {
    gchar* selected = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d));
    bool ready = selected && folder == selected;
    g_free(selected);
    if (ready || triesLeft <= 0) {
        gtk_dialog_response(GTK_DIALOG(d), ready ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
        return;
    }
    // Each new request cancels the chooser's look at the folder before it: asked
    // again only now and then, so that a slow look still ends.
    if (triesLeft % 100 == 0)
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(d), folder.c_str());
    wxTheApp->CallAfter([d, folder, triesLeft] {
        g_usleep(10000);
        AcceptWhenSelected(d, folder, triesLeft - 1);
    });
}

TEST(WxFolderDialogTest, CancellingGivesNoFolderAndThePromptIsTheTitle) {
    TestEnvironment env;
    GuiSession::UseSystemMimeTypes();
    GuiSession::Ensure();
    DialogUser user([](GtkWidget* d) { gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL); });
    FolderDialog::Result result = WxFolderDialog().Show("Bitte wähle einen Speicherplatz für den Download.");
    EXPECT_EQ(result.outcome, FolderDialog::Outcome::Cancelled);
    EXPECT_EQ(user.title, "Bitte wähle einen Speicherplatz für den Download.");
}

TEST(WxFolderDialogTest, ChosenFolderComesBackAsItsPath) {
    TestEnvironment env;
    GuiSession::UseSystemMimeTypes();
    GuiSession::Ensure();
    std::string folder = env.Path("Spiele ü");
    std::filesystem::create_directories(folder + "/inner");
    // The chooser looks at folders in the background: go into the folder (with
    // nothing selected, a folder chooser's choice is the folder it shows), then
    // accept once it holds (up to 20 s: a loaded machine is slow).
    DialogUser user([&](GtkWidget* d) {
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(d), folder.c_str());
        wxTheApp->CallAfter([d, folder] { AcceptWhenSelected(d, folder, 1999); });
    });
    FolderDialog::Result result = WxFolderDialog().Show("Pick");
    EXPECT_EQ(result.outcome, FolderDialog::Outcome::Chosen);
    EXPECT_EQ(result.path, folder);
}

}  // namespace
