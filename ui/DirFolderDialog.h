#pragma once
#include "games/FolderDialog.h"

// The save-folder dialog of the downloads on the toolkit's folder chooser,
// parented to the main window when there is one. GUI thread only.
class DirFolderDialog : public FolderDialog {
public:
    Result Show(const std::string& prompt) override;
};
