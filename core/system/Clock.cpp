#include "core/system/Clock.h"

#include <ctime>

namespace {

class SystemClock final : public Clock {
public:
    int64_t Now() override { return static_cast<int64_t>(std::time(nullptr)); }
};

}  // namespace

Clock& Clock::System() {
    static SystemClock clock;
    return clock;
}
