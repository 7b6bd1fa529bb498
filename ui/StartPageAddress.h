#pragma once
#include <string>

// Addresses inside the program folder, as the browser is given them: "file://"
// and the folder URL-encoded with its "/" kept, so "/opt/Quor Games/" becomes
// "file:///opt/Quor%20Games/".
std::string ProgramFolderAddress(const std::string& folder);
// The start page with its interface language, skin and build number:
// ProgramFolderAddress + "brq_interface.html?lang=en&skin=0&brqVersion=31680".
std::string StartPageAddress(const std::string& folder, const std::string& language, bool skin);
