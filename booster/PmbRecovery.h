#pragma once

#include "booster/PmbRecords.h"

// Waiting for the booster and bringing it back: above the calls, the token cache
// and the installation, which the token cache itself uses.

// Checks "loginStatus" once, then again after each 5000 ms pause, for up to
// 60000 ms of pauses: at most 13 checks and 12 pauses.
bool PmbWaitForLogin();

// Restarts the booster: shutdown when it answers, then start PMB.exe and wait
// for login. 8 not installed, 7 not started, 11 logged in, 12 the wait ended.
PDLibCode PmbRestart();
// What a transfer call's failed code leads to (see the retry rule).
PDLibCode ErrorHandlerForTransfer(PDLibCode code);
