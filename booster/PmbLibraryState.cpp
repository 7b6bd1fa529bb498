#include "booster/PmbLibraryState.h"

#include <memory>
#include <mutex>

namespace {

// Both are constant-initialised, so they exist before any call and end only
// after every object made on first use.
std::mutex stateLock;
std::unique_ptr<PmbLibraryState> state;

}  // namespace

PmbLibraryState& PmbLibraryState::Get() {
    std::lock_guard<std::mutex> guard(stateLock);
    if (!state)
        state.reset(new PmbLibraryState());
    return *state;
}

void PmbLibraryState::Reset() {
    std::unique_ptr<PmbLibraryState> ended;
    std::lock_guard<std::mutex> guard(stateLock);
    ended = std::move(state);
}
