#pragma once
#include <string>

// The message table (ids 0 to 48, five languages): a lookup only; showing a
// message is MessageDisplay's. Texts are UTF-8 here. Unknown ids give empty text.
std::string GetLocalizedString(int id);  // in the user's language (Preferences "Language")
std::string GetEnglishString(int id);
std::string GetStringForLanguage(int id, const std::string& languageCode);

// Message ids the code names.
namespace Msg {
enum : int {
    ProductName = 0,
    ConfigOpenFailed = 6,
    ManifestUnavailable = 7,
    AutoUpdate = 8,
    DiscInstallerMissing = 9,
    TimerFailed = 10,
    AutostartGameNotFound = 11,
    TempDeleteFailed = 12,
    InstallFileDeleteFailed = 13,
    DownloadFailed = 14,
    DownloadResultUnknown = 15,
    TransferStartFailed = 16,
    NotEnoughSpace = 17,
    FileExists = 18,
    ProgressPaused = 19,
    ProgressSpeed = 20,
    ProgressKb = 21,
    TrayOpen = 22,
    TrayExit = 23,
    RunsInTray = 24,
    SaveFileFailed = 25,
    SelectSaveLocation = 26,
    SaveDirectoryError = 27,
    BrowserLaunchFailed = 28,
    ExitWhilePatching = 29,
    PatchOpenFailed = 30,
    PatchCorrupt = 31,
    PatchingError = 32,
    PatchCatalogFailed = 33,
    ShibbolethChecksumFailed = 34,
    RegistryKeyMissing = 35,
    NoKnownBuild = 36,
    PatchDownloadFailed = 37,
    NoPatchPath = 38,
    Patching = 39,
    DownloadingPatch = 40,
};
}
