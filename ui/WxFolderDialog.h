#pragma once
#include "games/downloads/FolderDialog.h"

// The save-folder dialog on wxDirDialog: no owner window, no root folder, a
// field to type the path in. Modal on the GUI thread.
class WxFolderDialog final : public FolderDialog {
public:
    Result Show(const std::string& prompt) override;
};
