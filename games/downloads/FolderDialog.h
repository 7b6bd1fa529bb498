#pragma once
#include <string>

// The system's folder-browse dialog, shown modally on the GUI thread. The window
// implements it; without one a download that needs the dialog is not started.
class FolderDialog {
public:
    enum class Outcome {
        Chosen,     // path holds the folder (no trailing "/")
        Cancelled,  // the user closed the dialog
        NoPath,     // the choice has no file-system path
    };
    struct Result {
        Outcome outcome = Outcome::Cancelled;
        std::string path;
    };

    virtual ~FolderDialog() = default;
    virtual Result Show(const std::string& prompt) = 0;
};
