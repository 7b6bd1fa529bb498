#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/settings/Prefs.h"
#include "core/telemetry/ErrorTask.h"
#include "core/text/MessageDisplay.h"
#include "core/text/Messages.h"
#include "core/text/StringUtils.h"
#include "core/threads/Task.h"
#include "core/threads/TaskManager.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

const std::vector<std::string> kLanguages = {"en", "tr", "de", "es", "pt"};

// The printf conversions of a text in order ("%d", "%s", "%%").
std::vector<std::string> Placeholders(const std::string& text) {
    std::vector<std::string> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        if (i + 1 >= text.size()) {
            found.push_back("%<end>");
            break;
        }
        found.push_back(text.substr(i, 2));
        ++i;
    }
    return found;
}

// Queue and page for one test: a queue that is never started keeps what is reported.
struct MessageWorld {
    TestEnvironment env;
    RecordingPageCallSink page;
    TaskManager queue;

    std::vector<std::string> ReportedErrors() {
        std::vector<std::string> texts;
        while (std::unique_ptr<Task> task = queue.TakeNext()) {
            auto* error = dynamic_cast<ErrorTask*>(task.get());
            EXPECT_NE(error, nullptr);
            if (error)
                texts.push_back(error->Message());
        }
        return texts;
    }
};

TEST(Messages, GermanUserSeesGermanAndTheReportIsEnglish) {
    MessageWorld world;
    Prefs::SetNumber("Language", 3);
    ShowMessage(Msg::ExitWhilePatching);
    EXPECT_EQ(world.page.Calls(),
              (std::vector<RecordingPageCallSink::Call>{
                  {"showMessage", {"Das Spiel kann während eines Patch nicht geschlossen werden."}}}));
    EXPECT_EQ(world.ReportedErrors(), std::vector<std::string>{"You cannot exit while a game is patching."});
}

TEST(Messages, FullQueueDropsTheReportButShowsTheMessage) {
    MessageWorld world;
    Prefs::SetNumber("Language", 4);
    for (size_t i = 0; i < TaskManager::kMaxWaiting; ++i)
        ASSERT_TRUE(world.queue.AddTask(std::make_unique<ErrorTask>("filler")));
    ShowMessage(Msg::TrayExit);
    EXPECT_EQ(world.page.CallsOf("showMessage").size(), 1u);
    EXPECT_EQ(world.page.CallsOf("showMessage").at(0).args.at(0), "Salir");
    EXPECT_EQ(world.queue.WaitingCount(), TaskManager::kMaxWaiting);
}

TEST(Messages, UnknownIdShowsAndReportsEmptyText) {
    MessageWorld world;
    ShowMessage(49);
    EXPECT_EQ(world.page.Calls(), (std::vector<RecordingPageCallSink::Call>{{"showMessage", {""}}}));
    EXPECT_EQ(world.ReportedErrors(), std::vector<std::string>{""});
}

TEST(Messages, EveryUserMessageExistsInEveryLanguageWithTheEnglishPlaceholders) {
    for (int id = 6; id <= 40; ++id) {
        const std::string english = GetStringForLanguage(id, "en");
        for (const std::string& lang : kLanguages) {
            SCOPED_TRACE("id " + std::to_string(id) + " " + lang);
            const std::string text = GetStringForLanguage(id, lang);
            EXPECT_FALSE(text.empty());
            EXPECT_TRUE(IsValidUtf8(text));
            EXPECT_EQ(Placeholders(text), Placeholders(english));
        }
    }
    // The templates the progress display fills in.
    EXPECT_EQ(Placeholders(GetEnglishString(19)), (std::vector<std::string>{"%d", "%%"}));
    EXPECT_EQ(Placeholders(GetEnglishString(40)), (std::vector<std::string>{"%d", "%%", "%d"}));
    EXPECT_TRUE(Placeholders(GetEnglishString(6)).empty());
}

TEST(Messages, TextsFixedElsewhereAreTaken) {
    const std::string nb = "\xC2\xA0";  // U+00A0 NO-BREAK SPACE in UTF-8
    // id -> en, tr, de, es, pt
    const std::map<int, std::vector<std::string>> fixed = {
        {8,
         {"Auto-Update", "Otomatik-Güncelleme", "automatisches Update", "Actualización Automática",
          "Atualização Automática"}},
        {19, {"%d%%  (Paused)", "%d%%  (Durdu)", "%d%%  (angehalten)", "%d%%  (Pausado)", "%d%%" + nb + " (Pausado)"}},
        {20, {"%d%%  (%d KB/s)", "%d%%  (%d KB/s)", "%d%%  (%d KB/s)", "%d%%  (%d KB/s)", "%d%%  (%d KB/s)"}},
        {21, {"%d KB / %d KB", "%d KB / %d KB", "%d KB / %d KB", "%d KB / %d KB", "%d KB / %d KB"}},
        {22, {"Open", "Aç", "Öffnen", "Abrir", "Abrir"}},
        {23, {"Exit", "Kapat", "Beenden", "Salir", "Sair"}},
        {26,
         {"Please select a location to save the download.", "Indirilen dosyayi kaydetmek istediginiz klasörü seçin.",
          "Bitte wähle einen Speicherplatz für den Download.",
          "Por favor seleccione una localización para salvar la transferencia directa.",
          "Por favor selecione um local para salvar o download."}},
        {28,
         {"Failed to launch the default web browser.", "Varsayilan web tarayicisi baslatilamadi.",
          "Start des Standard-Browsers ist fehlgeschlagen.", "No podido lanzar el web browser defecto.",
          "Falha ao iniciar o navegador web padrão."}},
        {29,
         {"You cannot exit while a game is patching.", "Oyuna yama yapılırken çıkış yapamazsınız.",
          "Das Spiel kann während eines Patch nicht geschlossen werden.",
          "Usted no puede salir mientras que un juego está remendando.",
          "Você não pode sair enquanto um jogo estiver atualizando."}},
        {31,
         {"Patch file is corrupt.", "Yama dosyası hatalı bilgi içeriyor.", "Die Patch-Datei ist beschädigt.",
          "Archivo de remiendo esta corrupto.", "Arquivo de atualizações está corrompido."}},
        {39, {"Patching: %d%%", "Yama: %d%%", "Patching: %d%%", "Remendar: %d%%", "Atualizando: %d%%"}},
        {40,
         {"Downloading Patch: %d%%  (%d KB/s)", "Yama Yüklemesi: %d%%  (%d KB/s)", "Patch Download: %d%%  (%d KB/s)",
          "Transferencia del Remiendo: %d%%  (%d KB/s)", "Download de Atualizações: %d%%" + nb + " (%d KB/s)"}},
    };
    for (const auto& [id, texts] : fixed)
        for (size_t i = 0; i < kLanguages.size(); ++i)
            EXPECT_EQ(GetStringForLanguage(id, kLanguages[i]), texts[i]) << "id " << id << " " << kLanguages[i];

    const std::string noPath = "You do not have the latest version. No path to patch to the latest version was found.";
    EXPECT_EQ(GetStringForLanguage(38, "en"), noPath);
    EXPECT_EQ(GetStringForLanguage(38, "tr"), noPath);
    EXPECT_EQ(GetStringForLanguage(38, "de"), noPath);
    EXPECT_EQ(GetStringForLanguage(6, "en"), "Failed to open configuration file.\n\nProgram cannot continue.");
}

TEST(Messages, EnglishTextsAreExactlyTheTable) {
    // Every English text byte for byte (7 ends with the support address, checked below).
    const std::map<int, std::string> english = {
        {6, "Failed to open configuration file.\n\nProgram cannot continue."},
        {8, "Auto-Update"},
        {9, "Unable to find the installer. Please put the disc back in the drive and try again."},
        {10, "Failed to start timer."},
        {11, "Specified autostart game not found."},
        {12, "Failed to delete temp file."},
        {13, "Failed to delete installation file."},
        {14, "Unable to download. Please check your internet connection and firewall settings and try again."},
        {15, "Failed to determine the result of the download. It may have failed."},
        {16, "Failed to start transfer"},
        {17, "You do not have enough disk space."},
        {18, "A file with the same name already exists in that folder."},
        {19, "%d%%  (Paused)"},
        {20, "%d%%  (%d KB/s)"},
        {21, "%d KB / %d KB"},
        {22, "Open"},
        {23, "Exit"},
        {24,
         "Brindlemoor Quor! runs in the Notification Tray in order to continue your downloads. To open or close "
         "Brindlemoor Quor!, simply right-click its icon."},
        {25, "Failed to start download, because the save file couldn't be created."},
        {26, "Please select a location to save the download."},
        {27, "Error saving to that directory. Please choose another location."},
        {28, "Failed to launch the default web browser."},
        {29, "You cannot exit while a game is patching."},
        {30, "Failed to open patch file for reading."},
        {31, "Patch file is corrupt."},
        {32, "Error encountered while patching."},
        {33, "Failed to download the patch catalog."},
        {34, "Failed to calculate the checksum for the shibboleth file."},
        {35, "Could not find the registry key. The game does not appear to be installed."},
        {36, "Failed to match the shibboleth checksum to any known build."},
        {37, "Failed to begin the patch download."},
        {38, "You do not have the latest version. No path to patch to the latest version was found."},
        {39, "Patching: %d%%"},
        {40, "Downloading Patch: %d%%  (%d KB/s)"},
        {41, "The PMB minimum required version %s."},
        {42, "The PMB is not installed."},
        {43, "Can not install the PMB."},
        {44, "Can not execute the PMB."},
        {45, "In PMB, login into Pando is failed."},
        {46, "The net token is invalid in PMB."},
        {47, "PMB can not connect to server."},
        {48, "Failed to start download, because unknown error is occurred in PMB."},
    };
    ASSERT_EQ(english.size(), 42u);
    for (const auto& [id, text] : english)
        EXPECT_EQ(GetEnglishString(id), text) << "id " << id;
}

TEST(Messages, ProductNameAndSupportAddress) {
    const std::string support = "https://support.brindlemoor.example/quor";
    const std::string englishSeven =
        "Brindlemoor Quor! cannot download the list of available games. Please ensure an internet connection "
        "is available and restart Brindlemoor Quor!\n\nIf your internet connection is available and you "
        "continue to see this error, please contact customer support at " +
        support;
    EXPECT_EQ(GetStringForLanguage(7, "en"), englishSeven);
    for (const std::string& lang : kLanguages) {
        SCOPED_TRACE(lang);
        const std::string seven = GetStringForLanguage(7, lang);
        ASSERT_GE(seven.size(), support.size());
        EXPECT_EQ(seven.substr(seven.size() - support.size()), support);
        EXPECT_NE(seven.find("Brindlemoor Quor!"), std::string::npos);
        EXPECT_NE(GetStringForLanguage(24, lang).find("Brindlemoor Quor!"), std::string::npos);
        if (lang != "en") {
            EXPECT_NE(seven, englishSeven);
            EXPECT_NE(GetStringForLanguage(24, lang), GetStringForLanguage(24, "en"));
        }
    }
}

TEST(Messages, FixedAndBoosterTextsAreTheSameInEveryLanguage) {
    const std::vector<std::string> names = {"Brindlemoor Quor!", "English", "Türkçe",
                                            "Deutsch",           "Español", "Português"};
    for (const std::string& lang : kLanguages) {
        for (int id = 0; id <= 5; ++id)
            EXPECT_EQ(GetStringForLanguage(id, lang), names[id]);
        EXPECT_EQ(GetStringForLanguage(41, lang), "The PMB minimum required version %s.");
        EXPECT_EQ(GetStringForLanguage(42, lang), "The PMB is not installed.");
        EXPECT_EQ(GetStringForLanguage(48, lang),
                  "Failed to start download, because unknown error is occurred in PMB.");
        for (int id = 41; id <= 48; ++id)
            EXPECT_FALSE(GetStringForLanguage(id, lang).empty());
    }
}

TEST(Messages, UnknownIdsAreEmptyInEveryLanguage) {
    TestEnvironment env;
    for (uint32_t stored : {0u, 1u, 2u, 3u, 4u, 5u}) {
        Prefs::SetNumber("Language", stored);
        for (int id : {-1, 49, 1000, -2147483647 - 1}) {
            EXPECT_EQ(GetLocalizedString(id), "");
            EXPECT_EQ(GetEnglishString(id), "");
        }
    }
}

TEST(Messages, LanguageFollowsThePreference) {
    TestEnvironment env;
    // Absent, then 9 (not a language), then Turkish, then 0.
    EXPECT_EQ(GetLocalizedString(Msg::TrayOpen), "Open");
    Prefs::SetNumber("Language", 9);
    for (int id = 6; id <= 40; ++id)
        EXPECT_EQ(GetLocalizedString(id), GetEnglishString(id)) << id;
    Prefs::SetNumber("Language", 2);
    EXPECT_EQ(GetLocalizedString(Msg::TrayOpen), "Aç");
    EXPECT_EQ(GetLocalizedString(Msg::NoPatchPath), GetEnglishString(Msg::NoPatchPath));
    EXPECT_EQ(GetEnglishString(Msg::TrayOpen), "Open");
    Prefs::SetNumber("Language", 5);
    EXPECT_EQ(GetLocalizedString(Msg::TrayExit), "Sair");
    Prefs::SetNumber("Language", 0);
    EXPECT_EQ(GetLocalizedString(Msg::TrayExit), "Exit");
    EXPECT_EQ(GetStringForLanguage(Msg::TrayExit, "fr"), "Exit");
}

}  // namespace
