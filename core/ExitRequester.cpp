#include "core/ExitRequester.h"

#include <atomic>

#include "core/text/Messages.h"
#include "platform/Log.h"

namespace {

// Without an application there is nothing to wind down; say why the end was asked for.
class LoggingRequester final : public ExitRequester {
public:
    void RequestExit(int messageId) override {
        Log::Info("exit requested (message %d): %s", messageId, GetEnglishString(messageId).c_str());
    }
};

LoggingRequester logging;
std::atomic<ExitRequester*> installed{nullptr};

}  // namespace

ExitRequester& ExitRequester::Current() {
    ExitRequester* requester = installed.load();
    return requester ? *requester : logging;
}

void ExitRequester::Install(ExitRequester* requester) {
    installed.store(requester);
}
