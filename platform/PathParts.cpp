#include "platform/PathParts.h"

namespace platform {

std::string FolderOf(const std::string& path, std::string_view bare) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string(bare);
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path, std::string_view separators) {
    size_t cut = path.find_last_of(separators);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace platform
