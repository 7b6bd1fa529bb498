#include "booster/PmbAnnouncedLength.h"

#include <limits>

#include "core/text/StringUtils.h"

void PmbAnnouncedLength::ReadHeaderLine(const std::string& line) {
    const std::string name = LowerAscii(line.substr(0, line.find(':')));
    if (name.rfind("http/", 0) == 0) {
        length = -1;
        contradictory = false;
        return;
    }
    if (name != "content-length" || name.size() == line.size())
        return;
    int64_t value = 0;
    bool digits = false;
    for (size_t k = name.size() + 1; k < line.size(); ++k) {
        const char c = line[k];
        if (c >= '0' && c <= '9') {
            digits = true;
            constexpr int64_t kMost = std::numeric_limits<int64_t>::max();
            value = value > (kMost - 9) / 10 ? kMost : value * 10 + (c - '0');
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            contradictory = true;  // not a number at all
        }
    }
    if (!digits || (length >= 0 && length != value))
        contradictory = true;
    length = value;
}
