#pragma once
#include <string>

#include <wx/bitmap.h>
#include <wx/icon.h>

// Images of the program found by resource name: "<program folder>resources/<name>.png".
// Invalid (IsOk false) when the file is missing or unreadable.
wxBitmap LoadResourceBitmap(const std::string& name);
wxIcon LoadResourceIcon(const std::string& name);
bool ResourceExists(const std::string& name);
