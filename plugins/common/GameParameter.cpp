#include "plugins/common/GameParameter.h"

#include <strings.h>

std::optional<std::string> FindGameParameter(int count, const char* const* names, const char* const* values) {
    if (count <= 0 || !names || !values)
        return std::nullopt;
    for (int i = 0; i < count; ++i) {
        if (names[i] && strcasecmp(names[i], "game") == 0) {
            if (!values[i])
                return std::nullopt;
            return std::string(values[i]);
        }
    }
    return std::nullopt;
}
