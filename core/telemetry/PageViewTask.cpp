#include "core/telemetry/PageViewTask.h"

#include "core/PageCallSink.h"

PageViewTask::PageViewTask(std::string first, std::string second)
    : first(std::move(first)), second(std::move(second)) {}

void PageViewTask::Run() {
    PageCallSink::Current().trackPageView(first, second);
}
