#include "ui/NativeMessageBox.h"

#include <wx/msgdlg.h>

namespace {

class ToolkitMessageBox final : public NativeMessageBox {
public:
    void Show(const std::string& text, const std::string& caption) override {
        wxMessageBox(wxString::FromUTF8(text), wxString::FromUTF8(caption), wxOK | wxICON_ERROR);
    }
};

ToolkitMessageBox toolkitBox;
NativeMessageBox* installed = nullptr;

}  // namespace

NativeMessageBox& NativeMessageBox::Current() {
    return installed ? *installed : toolkitBox;
}

void NativeMessageBox::Install(NativeMessageBox* box) {
    installed = box;
}
