#pragma once

#include "booster/PmbChildren.h"
#include "booster/PmbInstallState.h"
#include "booster/PmbTokenCache.h"

// What the library keeps between calls besides its settings (PmbSettings): the
// programs it started, the installer state and the token cache. One object,
// made on first use and ended when the library is unloaded or the process
// exits. Its members are made in the order below and end in the reverse one:
// the installer's program is kept in children, which ends last, and none of
// them reaches anything outside the object at its end.
class PmbLibraryState {
public:
    static PmbLibraryState& Get();
    // Ends the state and makes a fresh one on the next Get, as at load. Never
    // while a call runs (tests use it between cases).
    static void Reset();

    PmbChildren children;
    PmbInstallState installer{children};
    PmbTokenCache tokens;

private:
    PmbLibraryState() = default;
};
