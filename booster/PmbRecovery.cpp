#include "booster/PmbRecovery.h"

#include <cstdint>

#include "booster/PmbCalls.h"
#include "booster/PmbInstallation.h"
#include "booster/PmbLibraryState.h"
#include "booster/PmbSettings.h"

bool PmbWaitForLogin() {
    if (pmbcall::IsLoggedIn())
        return true;
    for (int64_t waited = 0; waited < 60000;) {
        if (pmbcall::IsLoggedIn())
            return true;
        PmbSettings::Get().Sleep(5000);
        waited += 5000;
    }
    return false;
}

PDLibCode PmbRestart() {
    std::string folder;
    if (pmbcall::BoosterAnswers()) {
        pmbcall::ShutDown();
        folder = PmbInstalledFolder();
        if (folder.empty())
            return PD_LIB_NOT_INSTALLED;
    } else {
        const PmbInstalled installed = PmbFindInstalled();
        if (!installed.found)
            return PD_LIB_NOT_INSTALLED;
        folder = installed.folder;
    }
    if (!PmbLaunchBooster(folder, PmbLibraryState::Get().children))
        return PD_LIB_START_FAILED;
    return PmbWaitForLogin() ? PD_LIB_LOGGED_IN : PD_LIB_LOGIN_TIMEOUT;
}

PDLibCode ErrorHandlerForTransfer(PDLibCode code) {
    PmbTokenCache& tokens = PmbLibraryState::Get().tokens;
    switch (code) {
    case PD_LIB_NO_REPLY: {
        const PDLibCode restarted = PmbRestart();
        if (restarted == PD_LIB_LOGGED_IN)
            tokens.Validate();
        return restarted;
    }
    case PD_LIB_TOKEN_REJECTED:
        tokens.Refresh();
        return tokens.Validate() ? PD_LIB_TOKEN_RENEWED : PD_LIB_TOKEN_NOT_VALIDATED;
    case PD_LIB_NOT_LOGGED_IN: return PmbWaitForLogin() ? PD_LIB_LOGGED_IN : PD_LIB_LOGIN_TIMEOUT;
    default: return PD_LIB_OK;
    }
}
