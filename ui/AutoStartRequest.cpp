#include "ui/AutoStartRequest.h"

#include "core/settings/Prefs.h"

AutoStartRequest AutoStartRequest::Take() {
    AutoStartRequest request;
    request.name = Prefs::GetString("AutoStartGame");
    Prefs::SetString("AutoStartGame", "");
    request.id = static_cast<int32_t>(Prefs::GetNumber("AutoStartGameId"));
    Prefs::SetNumber("AutoStartGameId", 0);
    return request;
}
