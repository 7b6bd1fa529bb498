#pragma once
#include <string>

#include "booster/PmbRecords.h"

// The booster client's exported functions (libquorbooster.so exports exactly
// these). No exception leaves any of them.
bool PMB_Lib_CheckIsPMBPresent(wchar_t** version, wchar_t** programDir);
bool PMB_Lib_InstallPMB(const std::wstring& partner);
bool PMB_Lib_LaunchPMBApplication(const std::wstring& programDir);
bool PMB_Lib_CheckPMBIsLoggedIn();
bool PMB_Lib_CheckAndReStartPMB(PDLibCode& code);
bool PMB_Lib_StartPMB(PDLibCode& code, const std::wstring& partner);
void PMB_Lib_SetMinimumRequiredVersion(const std::wstring& version);
std::wstring PMB_Lib_GetMinimumRequiredVersion();
void PMB_Lib_SetPMBPort(int port);
int PMB_Lib_GetPMBPort();
VersionResp* PMB_Lib_Version();
LoginStatusResp* PMB_Lib_LoginStatus();
TokenResp* PMB_Lib_GetToken(const std::wstring& clientId);
TokenResp* PMB_Lib_ValidateDiskToken(const std::wstring& netToken);
StatusResp* PMB_Lib_SetKeyValue(const std::wstring& category, const std::wstring& key, const std::wstring& value);
std::wstring PMB_Lib_GetKeyValue(const std::wstring& category, const std::wstring& key);
StatusResp* PMB_Lib_ShutDown();
StatusResp* PMB_Lib_Upgrade();
TransferStatus* PMB_Lib_StartTransfer(PDLibCode& code, const std::wstring& packageUrl, const std::wstring& destDir,
                                      bool setP2P);
TransferStatus* PMB_Lib_StatusTransfer(PDLibCode& code, const std::wstring& torrentId);
TransferStatus* PMB_Lib_PauseTransfer(PDLibCode& code, const std::wstring& torrentId);
TransferStatus* PMB_Lib_ResumeTransfer(PDLibCode& code, const std::wstring& torrentId);
StatusResp* PMB_Lib_CancelTransfer(PDLibCode& code, const std::wstring& torrentId, bool deleteFiles);
StatusResp* PMB_Lib_OpenTransfer(PDLibCode& code, const std::wstring& torrentId, bool withToken);
StatusResp* PMB_Lib_UpdateTransfer(PDLibCode& code, const std::wstring& torrentId, bool setP2P);
TransferFiles* PMB_Lib_FilesTransfer(PDLibCode& code, const std::wstring& torrentId);
PD_Lib_TransferInfo* PMB_Lib_InfoTransfer(PDLibCode& code, const std::wstring& torrentId);
