#include "ui/ProgramResources.h"

#include <sys/stat.h>

#include <wx/image.h>

#include "core/system/SystemPaths.h"

namespace {

std::string ResourcePath(const std::string& name) {
    return GetProgramDirectory() + "resources/" + name + ".png";
}

}  // namespace

bool ResourceExists(const std::string& name) {
    struct stat st {};
    return stat(ResourcePath(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

wxBitmap LoadResourceBitmap(const std::string& name) {
    if (!ResourceExists(name))
        return wxBitmap();
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler());
    wxImage image;
    if (!image.LoadFile(wxString::FromUTF8(ResourcePath(name)), wxBITMAP_TYPE_PNG))
        return wxBitmap();
    return wxBitmap(image);
}

wxIcon LoadResourceIcon(const std::string& name) {
    wxBitmap bitmap = LoadResourceBitmap(name);
    wxIcon icon;
    if (bitmap.IsOk())
        icon.CopyFromBitmap(bitmap);
    return icon;
}
