#pragma once
#include <string>

// A message box of the desktop's own, for the messages that end the program
// (the page may not be there to show them). Show returns when the user has
// closed the box. Tests install their own.
class NativeMessageBox {
public:
    virtual ~NativeMessageBox() = default;
    virtual void Show(const std::string& text, const std::string& caption) = 0;

    // The installed box, else the toolkit's. GUI thread only.
    static NativeMessageBox& Current();
    static void Install(NativeMessageBox* box);  // nullptr: the toolkit's again
};
