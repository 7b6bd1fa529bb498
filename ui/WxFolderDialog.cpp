#include "ui/WxFolderDialog.h"

#include <wx/dirdlg.h>

FolderDialog::Result WxFolderDialog::Show(const std::string& prompt) {
    wxDirDialog dialog(nullptr, wxString::FromUTF8(prompt.c_str()), wxEmptyString,
                       wxDD_DEFAULT_STYLE | wxDD_NEW_DIR_BUTTON);
    if (dialog.ShowModal() != wxID_OK)
        return {Outcome::Cancelled, {}};
    wxString path = dialog.GetPath();
    if (path.empty())
        return {Outcome::NoPath, {}};
    return {Outcome::Chosen, std::string(path.utf8_str())};
}
