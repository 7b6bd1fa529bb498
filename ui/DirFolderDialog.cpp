#include "ui/DirFolderDialog.h"

#include <wx/app.h>
#include <wx/dirdlg.h>

FolderDialog::Result DirFolderDialog::Show(const std::string& prompt) {
    wxWindow* parent = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
    wxDirDialog dialog(parent, wxString::FromUTF8(prompt), wxString(),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    Result result;
    if (dialog.ShowModal() != wxID_OK) {
        result.outcome = Outcome::Cancelled;
        return result;
    }
    std::string path = dialog.GetPath().utf8_string();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    result.outcome = path.empty() ? Outcome::NoPath : Outcome::Chosen;
    result.path = path;
    return result;
}
