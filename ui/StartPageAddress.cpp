#include "ui/StartPageAddress.h"

#include "core/text/StringUtils.h"

std::string ProgramFolderAddress(const std::string& folder) {
    std::string encoded = ReplaceAll(UrlEncode(ReplaceAll(folder, "\\", "/")), "%2f", "/");
    return "file://" + encoded;
}

std::string StartPageAddress(const std::string& folder, const std::string& language, bool skin) {
    return ProgramFolderAddress(folder) + "brq_interface.html?lang=" + language + "&skin=" + (skin ? "1" : "0") +
           "&brqVersion=" + std::to_string(QUOR_BUILD_NUMBER);
}
