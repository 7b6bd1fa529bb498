#include "core/PageCallSink.h"

#include <atomic>

namespace {

// Every call of the base does nothing.
PageCallSink dropping;
std::atomic<PageCallSink*> installed{nullptr};

}  // namespace

PageCallSink& PageCallSink::Current() {
    PageCallSink* sink = installed.load();
    return sink ? *sink : dropping;
}

void PageCallSink::Install(PageCallSink* sink) {
    installed.store(sink);
}
