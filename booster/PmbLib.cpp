#include "booster/PmbLib.h"

#include <cstring>
#include <type_traits>

#include "booster/PmbCalls.h"
#include "booster/PmbInstallation.h"
#include "booster/PmbLibraryState.h"
#include "booster/PmbRecovery.h"
#include "booster/PmbSettings.h"
#include "core/text/StringUtils.h"

namespace {

// Copies a value into a caller's buffer. Only values that fit the library's
// buffer size are read at all (PmbFindInstalled); anything else would leave the
// buffer as it was.
void CopyToBuffer(wchar_t** target, const std::string& value) {
    if (!target || !*target)
        return;
    const std::wstring wide = Utf8ToWString(value);
    if (wide.size() >= kPmbValueLength)
        return;
    std::memcpy(*target, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
}

std::string Narrow(const std::wstring& text) {
    return WStringToUtf8(text);  // throws ConversionError
}

// The library starts no thread: every call reaps the programs it started that
// have ended since the last one (a failure here leaves them to the next call).
void ReapEnded() {
    try {
        PmbLibraryState::Get().children.ReapEnded();
    } catch (const std::exception&) {
    }
}

// No exception leaves an export: a failure outside the protocol (no memory,
// text that cannot be converted) gives the export's fallback.
template <typename Result, typename Body>
Result Guarded(Result fallback, Body body) {
    ReapEnded();
    try {
        return body();
    } catch (const std::exception&) {
        return fallback;
    }
}

// A transfer export that fails that way reports a bad reply with no record.
template <typename Body>
auto GuardedTransfer(PDLibCode& code, Body body) -> decltype(body()) {
    ReapEnded();
    try {
        return body();
    } catch (const std::exception&) {
        code = PD_LIB_BAD_REPLY;
        return nullptr;
    }
}

// Starts an installed booster when its version is recent enough; false with
// the code saying why otherwise.
bool LaunchInstalled(const PmbInstalled& installed, PDLibCode& code) {
    if (PmbVersionBelow(Utf8ToWString(installed.version), PmbSettings::Get().MinimumVersion())) {
        code = PD_LIB_VERSION_TOO_OLD;
        return false;
    }
    if (!PmbLaunchBooster(installed.folder, PmbLibraryState::Get().children)) {
        code = PD_LIB_START_FAILED;
        return false;
    }
    return true;
}

// Runs start (false with the code set when it could not start the booster),
// then waits for the booster to log in; any exception is a failed start.
template <typename Start>
bool StartAndWaitForLogin(PDLibCode& code, Start start) {
    ReapEnded();
    try {
        if (!start())
            return false;
        const bool loggedIn = PmbWaitForLogin();
        code = loggedIn ? PD_LIB_OK : PD_LIB_LOGIN_TIMEOUT;
        return loggedIn;
    } catch (const std::exception&) {
        code = PD_LIB_START_FAILED;
        return false;
    }
}

// The retry rule of the transfer calls: at most three calls; 7, 8 and 9 from
// the handler stop at once with the last record.
template <typename Record, typename CallOnce>
Record* WithRetry(PDLibCode& code, CallOnce call) {
    std::unique_ptr<Record> record = call(code);
    int calls = 1;
    while (code != PD_LIB_OK && calls < 3) {
        code = ErrorHandlerForTransfer(code);
        if (code == PD_LIB_START_FAILED || code == PD_LIB_NOT_INSTALLED || code == PD_LIB_TOKEN_NOT_VALIDATED)
            break;
        record.reset();
        record = call(code);
        ++calls;
    }
    return record.release();
}

template <typename Record>
Record* TransferWithStatus(PDLibCode& code, const std::string& method, const PmbParams& params) {
    return WithRetry<Record>(code, [&](PDLibCode& c) {
        pmbreply::Outcome outcome;
        auto record = pmbcall::Call<Record>(method, params, outcome);
        c = pmbcall::TransferCode(outcome, record ? &record->status : nullptr);
        return record;
    });
}

StatusResp* StatusTransfer(PDLibCode& code, const std::string& method, const char* root, const PmbParams& params) {
    return WithRetry<StatusResp>(code, [&](PDLibCode& c) {
        pmbreply::Outcome outcome;
        auto record = pmbcall::CallStatus(method, root, params, outcome);
        c = pmbcall::TransferCode(outcome, record.get());
        return record;
    });
}

template <typename Record>
Record* PlainTransfer(PDLibCode& code, const std::string& method, const PmbParams& params) {
    return WithRetry<Record>(code, [&](PDLibCode& c) {
        pmbreply::Outcome outcome;
        auto record = pmbcall::Call<Record>(method, params, outcome);
        c = pmbcall::TransferCode(outcome, nullptr);
        return record;
    });
}

PmbParams WithTorrent(const std::wstring& torrentId) {
    PmbParams params;
    params.torrentId = torrentId;
    return params;
}

// The calls that name only the torrent; a status reply's code comes from its status.
template <typename Record>
Record* TorrentTransfer(PDLibCode& code, const char* method, const std::wstring& torrentId) {
    return GuardedTransfer(code, [&] {
        if constexpr (std::is_same_v<Record, TransferStatus>)
            return TransferWithStatus<Record>(code, method, WithTorrent(torrentId));
        else
            return PlainTransfer<Record>(code, method, WithTorrent(torrentId));
    });
}

// The parameters are copied inside each export's guard: copying may throw.
PmbParams StartParams(const std::wstring& packageUrl, const std::wstring& destDir, bool setP2P) {
    PmbParams params;
    params.packageUrl = packageUrl;
    params.destDir = destDir;
    params.setP2P = setP2P;
    return params;
}

PmbParams CancelParams(const std::wstring& torrentId, bool deleteFiles) {
    PmbParams params = WithTorrent(torrentId);
    params.deleteFiles = deleteFiles;
    return params;
}

PmbParams OpenParams(const std::wstring& torrentId, bool withToken) {
    PmbParams params = WithTorrent(torrentId);
    params.withNetToken = withToken;
    return params;
}

PmbParams UpdateParams(const std::wstring& torrentId, bool setP2P) {
    PmbParams params = WithTorrent(torrentId);
    params.setP2P = setP2P;
    return params;
}

}  // namespace

bool PMB_Lib_CheckIsPMBPresent(wchar_t** version, wchar_t** programDir) {
    return Guarded(false, [&] {
        const PmbInstalled installed = PmbFindInstalled();
        if (installed.versionRead)
            CopyToBuffer(version, installed.version);
        if (installed.keyFound)
            CopyToBuffer(programDir, installed.folder);
        return installed.found;
    });
}

bool PMB_Lib_InstallPMB(const std::wstring& partner) {
    return Guarded(false, [&] {
        const std::string name = Narrow(partner);
        PmbInstallState& installer = PmbLibraryState::Get().installer;
        if (installer.Poll() == PmbInstallerState::Idle)
            installer.Begin(name);
        PmbInstallerState state = installer.Poll();
        for (int64_t waited = 0; state == PmbInstallerState::Running && waited < 60000;) {
            state = installer.Poll();
            if (state == PmbInstallerState::Running) {
                PmbSettings::Get().Sleep(5000);
                waited += 5000;
            }
        }
        return state == PmbInstallerState::Finished;
    });
}

bool PMB_Lib_LaunchPMBApplication(const std::wstring& programDir) {
    return Guarded(false, [&] { return PmbLaunchBooster(Narrow(programDir), PmbLibraryState::Get().children); });
}

bool PMB_Lib_CheckPMBIsLoggedIn() {
    return Guarded(false, [] { return pmbcall::IsLoggedIn(); });
}

bool PMB_Lib_CheckAndReStartPMB(PDLibCode& code) {
    return StartAndWaitForLogin(code, [&] {
        if (pmbcall::BoosterAnswers())
            pmbcall::ShutDown();
        const PmbInstalled installed = PmbFindInstalled();
        if (!installed.found) {
            code = PD_LIB_NOT_INSTALLED;
            return false;
        }
        if (!LaunchInstalled(installed, code))
            return false;
        PmbSettings::Get().Sleep(5000);
        return true;
    });
}

bool PMB_Lib_StartPMB(PDLibCode& code, const std::wstring& partner) {
    return StartAndWaitForLogin(code, [&] {
        const PmbInstalled installed = PmbFindInstalled();
        if (installed.found) {
            if (!LaunchInstalled(installed, code))
                return false;
        } else if (!PMB_Lib_InstallPMB(partner)) {
            code = PD_LIB_INSTALL_FAILED;
            return false;
        }
        return true;
    });
}

void PMB_Lib_SetMinimumRequiredVersion(const std::wstring& version) {
    ReapEnded();
    try {
        PmbSettings::Get().SetMinimumVersion(version);
    } catch (const std::exception&) {
    }
}

std::wstring PMB_Lib_GetMinimumRequiredVersion() {
    return Guarded(std::wstring(), [] { return PmbSettings::Get().MinimumVersion(); });
}

void PMB_Lib_SetPMBPort(int port) {
    ReapEnded();
    PmbSettings::Get().SetPort(port);
}

int PMB_Lib_GetPMBPort() {
    ReapEnded();
    return PmbSettings::Get().Port();
}

VersionResp* PMB_Lib_Version() {
    return Guarded<VersionResp*>(nullptr, [] { return pmbcall::Version().release(); });
}

LoginStatusResp* PMB_Lib_LoginStatus() {
    return Guarded<LoginStatusResp*>(nullptr, [] { return pmbcall::LoginStatus().release(); });
}

TokenResp* PMB_Lib_GetToken(const std::wstring& clientId) {
    return Guarded<TokenResp*>(nullptr, [&] { return pmbcall::GetToken(clientId).release(); });
}

TokenResp* PMB_Lib_ValidateDiskToken(const std::wstring& netToken) {
    return Guarded<TokenResp*>(nullptr, [&] { return pmbcall::ValidateDiskToken(netToken).release(); });
}

StatusResp* PMB_Lib_SetKeyValue(const std::wstring& category, const std::wstring& key, const std::wstring& value) {
    return Guarded<StatusResp*>(nullptr, [&] {
        PmbParams params;
        params.category = category;
        params.key = key;
        params.value = value;
        pmbreply::Outcome outcome;
        return pmbcall::CallStatus("setKeyValue", "KeyResp", params, outcome).release();
    });
}

std::wstring PMB_Lib_GetKeyValue(const std::wstring& category, const std::wstring& key) {
    return Guarded(std::wstring(), [&] {
        PmbParams params;
        params.category = category;
        params.key = key;
        pmbreply::Outcome outcome;
        const auto reply = pmbcall::Call<KeyResp>("getKeyValue", params, outcome);
        return reply ? reply->value : std::wstring();
    });
}

StatusResp* PMB_Lib_ShutDown() {
    return Guarded<StatusResp*>(nullptr, [] { return pmbcall::ShutDown().release(); });
}

StatusResp* PMB_Lib_Upgrade() {
    return Guarded<StatusResp*>(nullptr, [] {
        pmbreply::Outcome outcome;
        return pmbcall::CallStatus("upgrade", "UpgradeResp", {}, outcome).release();
    });
}

TransferStatus* PMB_Lib_StartTransfer(PDLibCode& code, const std::wstring& packageUrl, const std::wstring& destDir,
                                      bool setP2P) {
    return GuardedTransfer(code, [&] {
        return TransferWithStatus<TransferStatus>(code, "transfer.start", StartParams(packageUrl, destDir, setP2P));
    });
}

TransferStatus* PMB_Lib_StatusTransfer(PDLibCode& code, const std::wstring& torrentId) {
    return TorrentTransfer<TransferStatus>(code, "transfer.status", torrentId);
}

TransferStatus* PMB_Lib_PauseTransfer(PDLibCode& code, const std::wstring& torrentId) {
    return TorrentTransfer<TransferStatus>(code, "transfer.pause", torrentId);
}

TransferStatus* PMB_Lib_ResumeTransfer(PDLibCode& code, const std::wstring& torrentId) {
    return TorrentTransfer<TransferStatus>(code, "transfer.resume", torrentId);
}

StatusResp* PMB_Lib_CancelTransfer(PDLibCode& code, const std::wstring& torrentId, bool deleteFiles) {
    return GuardedTransfer(code, [&] {
        return StatusTransfer(code, "transfer.cancel", "CancelStatus", CancelParams(torrentId, deleteFiles));
    });
}

StatusResp* PMB_Lib_OpenTransfer(PDLibCode& code, const std::wstring& torrentId, bool withToken) {
    // Each call asks for the token anew: a retry after a renewal sends the new one.
    return GuardedTransfer(
        code, [&] { return StatusTransfer(code, "transfer.open", "OpenStatus", OpenParams(torrentId, withToken)); });
}

StatusResp* PMB_Lib_UpdateTransfer(PDLibCode& code, const std::wstring& torrentId, bool setP2P) {
    return GuardedTransfer(
        code, [&] { return StatusTransfer(code, "transfer.update", "Update", UpdateParams(torrentId, setP2P)); });
}

TransferFiles* PMB_Lib_FilesTransfer(PDLibCode& code, const std::wstring& torrentId) {
    return TorrentTransfer<TransferFiles>(code, "transfer.files", torrentId);
}

PD_Lib_TransferInfo* PMB_Lib_InfoTransfer(PDLibCode& code, const std::wstring& torrentId) {
    return TorrentTransfer<PD_Lib_TransferInfo>(code, "transfer.info", torrentId);
}
