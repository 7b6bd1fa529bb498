#include "core/text/Messages.h"

#include <iterator>

#include "core/settings/ConfigManager.h"

namespace {

constexpr int kFirstUserMessage = 6;
constexpr int kLastUserMessage = 40;
constexpr int kLastMessage = 48;

// Column order of the user messages.
const char* const kLanguageCodes[] = {"en", "tr", "de", "es", "pt"};

const char* const kFixedTexts[] = {
    "Brindlemoor Quor!", "English", "Türkçe", "Deutsch", "Español", "Português",
};

// The booster's errors are English in every language.
const char* const kBoosterTexts[] = {
    "The PMB minimum required version %s.",
    "The PMB is not installed.",
    "Can not install the PMB.",
    "Can not execute the PMB.",
    "In PMB, login into Pando is failed.",
    "The net token is invalid in PMB.",
    "PMB can not connect to server.",
    "Failed to start download, because unknown error is occurred in PMB.",
};

// Message 7 ends with the support page in every language.
#define SUPPORT_URL "https://support.brindlemoor.example/quor"

// Texts shared between languages.
const char kProgressSpeed[] = "%d%%  (%d KB/s)";
const char kProgressKb[] = "%d KB / %d KB";
const char kNoPatchPath[] = "You do not have the latest version. No path to patch to the latest version was found.";
const char kPatching[] = "Patching: %d%%";

struct Row {
    const char* text[5];  // en, tr, de, es, pt
};

// Ids 6 to 40. The progress formats (19, 20, 39, 40) match the progress display;
// in the Portuguese 19 and 40 the first blank after "%%" is a no-break space.
const Row kUserMessages[] = {
    // 6
    {{"Failed to open configuration file.\n\nProgram cannot continue.",
      "Yapılandırma dosyası açılamadı.\n\nProgram devam edemiyor.",
      "Die Konfigurationsdatei konnte nicht geöffnet werden.\n\nDas Programm kann nicht fortfahren.",
      "No se pudo abrir el archivo de configuración.\n\nEl programa no puede continuar.",
      "Falha ao abrir o arquivo de configuração.\n\nO programa não pode continuar."}},
    // 7
    {{"Brindlemoor Quor! cannot download the list of available games. Please ensure an internet "
      "connection is available and restart Brindlemoor Quor!\n\nIf your internet connection is "
      "available and you continue to see this error, please contact customer support at " SUPPORT_URL,
      "Brindlemoor Quor! mevcut oyunların listesini indiremiyor. Lütfen bir internet bağlantısı "
      "olduğundan emin olun ve Brindlemoor Quor! programını yeniden başlatın.\n\nİnternet bağlantınız "
      "varsa ve bu hatayı görmeye devam ediyorsanız, lütfen müşteri desteğine başvurun: " SUPPORT_URL,
      "Brindlemoor Quor! kann die Liste der verfügbaren Spiele nicht herunterladen. Bitte stelle "
      "sicher, dass eine Internetverbindung besteht, und starte Brindlemoor Quor! neu.\n\nWenn deine "
      "Internetverbindung besteht und dieser Fehler weiterhin auftritt, wende dich bitte an den "
      "Kundendienst: " SUPPORT_URL,
      "Brindlemoor Quor! no puede descargar la lista de juegos disponibles. Asegúrese de que hay una "
      "conexión a internet disponible y reinicie Brindlemoor Quor!\n\nSi su conexión a internet está "
      "disponible y sigue viendo este error, póngase en contacto con el servicio de atención al "
      "cliente en " SUPPORT_URL,
      "O Brindlemoor Quor! não consegue baixar a lista de jogos disponíveis. Verifique se há uma "
      "conexão com a internet disponível e reinicie o Brindlemoor Quor!\n\nSe a sua conexão com a "
      "internet estiver disponível e você continuar vendo este erro, entre em contato com o suporte "
      "ao cliente em " SUPPORT_URL}},
    // 8: the name of the launcher's own update in the catalogue
    {{"Auto-Update", "Otomatik-Güncelleme", "automatisches Update", "Actualización Automática",
      "Atualização Automática"}},
    // 9
    {{"Unable to find the installer. Please put the disc back in the drive and try again.",
      "Yükleyici bulunamadı. Lütfen diski sürücüye geri takın ve tekrar deneyin.",
      "Das Installationsprogramm wurde nicht gefunden. Bitte lege die Disc wieder in das Laufwerk "
      "ein und versuche es erneut.",
      "No se encuentra el instalador. Vuelva a introducir el disco en la unidad e inténtelo de nuevo.",
      "Não foi possível encontrar o instalador. Coloque o disco de volta na unidade e tente novamente."}},
    // 10
    {{"Failed to start timer.", "Zamanlayıcı başlatılamadı.", "Der Timer konnte nicht gestartet werden.",
      "No se pudo iniciar el temporizador.", "Falha ao iniciar o temporizador."}},
    // 11
    {{"Specified autostart game not found.", "Otomatik başlatılacak oyun bulunamadı.",
      "Das angegebene Autostart-Spiel wurde nicht gefunden.", "No se encontró el juego de inicio automático indicado.",
      "O jogo de início automático especificado não foi encontrado."}},
    // 12
    {{"Failed to delete temp file.", "Geçici dosya silinemedi.", "Die temporäre Datei konnte nicht gelöscht werden.",
      "No se pudo eliminar el archivo temporal.", "Falha ao excluir o arquivo temporário."}},
    // 13
    {{"Failed to delete installation file.", "Kurulum dosyası silinemedi.",
      "Die Installationsdatei konnte nicht gelöscht werden.", "No se pudo eliminar el archivo de instalación.",
      "Falha ao excluir o arquivo de instalação."}},
    // 14
    {{"Unable to download. Please check your internet connection and firewall settings and try again.",
      "İndirme yapılamıyor. Lütfen internet bağlantınızı ve güvenlik duvarı ayarlarınızı kontrol edip "
      "tekrar deneyin.",
      "Download nicht möglich. Bitte überprüfe deine Internetverbindung und die Firewall-Einstellungen "
      "und versuche es erneut.",
      "No se puede descargar. Compruebe su conexión a internet y la configuración del cortafuegos e "
      "inténtelo de nuevo.",
      "Não foi possível baixar. Verifique sua conexão com a internet e as configurações do firewall e "
      "tente novamente."}},
    // 15
    {{"Failed to determine the result of the download. It may have failed.",
      "İndirmenin sonucu belirlenemedi. İndirme başarısız olmuş olabilir.",
      "Das Ergebnis des Downloads konnte nicht festgestellt werden. Möglicherweise ist er "
      "fehlgeschlagen.",
      "No se pudo determinar el resultado de la descarga. Es posible que haya fallado.",
      "Não foi possível determinar o resultado do download. Ele pode ter falhado."}},
    // 16
    {{"Failed to start transfer", "Aktarım başlatılamadı", "Die Übertragung konnte nicht gestartet werden",
      "No se pudo iniciar la transferencia", "Falha ao iniciar a transferência"}},
    // 17
    {{"You do not have enough disk space.", "Yeterli disk alanınız yok.", "Du hast nicht genügend Speicherplatz.",
      "No tiene suficiente espacio en disco.", "Você não tem espaço em disco suficiente."}},
    // 18
    {{"A file with the same name already exists in that folder.", "Bu klasörde aynı ada sahip bir dosya zaten var.",
      "In diesem Ordner gibt es bereits eine Datei mit demselben Namen.",
      "Ya existe un archivo con el mismo nombre en esa carpeta.",
      "Já existe um arquivo com o mesmo nome nessa pasta."}},
    // 19
    {{"%d%%  (Paused)", "%d%%  (Durdu)", "%d%%  (angehalten)", "%d%%  (Pausado)", "%d%%\u00A0 (Pausado)"}},
    // 20
    {{kProgressSpeed, kProgressSpeed, kProgressSpeed, kProgressSpeed, kProgressSpeed}},
    // 21
    {{kProgressKb, kProgressKb, kProgressKb, kProgressKb, kProgressKb}},
    // 22
    {{"Open", "Aç", "Öffnen", "Abrir", "Abrir"}},
    // 23
    {{"Exit", "Kapat", "Beenden", "Salir", "Sair"}},
    // 24
    {{"Brindlemoor Quor! runs in the Notification Tray in order to continue your downloads. To open or "
      "close Brindlemoor Quor!, simply right-click its icon.",
      "Brindlemoor Quor!, indirmelerinize devam edebilmek için bildirim alanında çalışır. Brindlemoor "
      "Quor! programını açmak veya kapatmak için simgesine sağ tıklamanız yeterlidir.",
      "Brindlemoor Quor! läuft im Infobereich weiter, damit deine Downloads fortgesetzt werden. Um "
      "Brindlemoor Quor! zu öffnen oder zu beenden, klicke einfach mit der rechten Maustaste auf das "
      "Symbol.",
      "Brindlemoor Quor! se ejecuta en el área de notificación para continuar sus descargas. Para "
      "abrir o cerrar Brindlemoor Quor!, haga clic con el botón derecho en su icono.",
      "O Brindlemoor Quor! é executado na área de notificação para continuar seus downloads. Para "
      "abrir ou fechar o Brindlemoor Quor!, basta clicar com o botão direito no ícone."}},
    // 25
    {{"Failed to start download, because the save file couldn't be created.",
      "Kayıt dosyası oluşturulamadığı için indirme başlatılamadı.",
      "Der Download konnte nicht gestartet werden, weil die Zieldatei nicht erstellt werden konnte.",
      "No se pudo iniciar la descarga porque no se pudo crear el archivo de destino.",
      "Falha ao iniciar o download, porque o arquivo de destino não pôde ser criado."}},
    // 26: the prompt of the save-folder dialog
    {{"Please select a location to save the download.", "Indirilen dosyayi kaydetmek istediginiz klasörü seçin.",
      "Bitte wähle einen Speicherplatz für den Download.",
      "Por favor seleccione una localización para salvar la transferencia directa.",
      "Por favor selecione um local para salvar o download."}},
    // 27
    {{"Error saving to that directory. Please choose another location.",
      "Bu klasöre kaydedilirken hata oluştu. Lütfen başka bir konum seçin.",
      "Fehler beim Speichern in diesem Ordner. Bitte wähle einen anderen Speicherort.",
      "Error al guardar en esa carpeta. Elija otra ubicación.", "Erro ao salvar nessa pasta. Escolha outro local."}},
    // 28
    {{"Failed to launch the default web browser.", "Varsayilan web tarayicisi baslatilamadi.",
      "Start des Standard-Browsers ist fehlgeschlagen.", "No podido lanzar el web browser defecto.",
      "Falha ao iniciar o navegador web padrão."}},
    // 29
    {{"You cannot exit while a game is patching.", "Oyuna yama yapılırken çıkış yapamazsınız.",
      "Das Spiel kann während eines Patch nicht geschlossen werden.",
      "Usted no puede salir mientras que un juego está remendando.",
      "Você não pode sair enquanto um jogo estiver atualizando."}},
    // 30
    {{"Failed to open patch file for reading.", "Yama dosyası okunmak üzere açılamadı.",
      "Die Patch-Datei konnte nicht zum Lesen geöffnet werden.", "No se pudo abrir el archivo de remiendo para leerlo.",
      "Falha ao abrir o arquivo de atualização para leitura."}},
    // 31
    {{"Patch file is corrupt.", "Yama dosyası hatalı bilgi içeriyor.", "Die Patch-Datei ist beschädigt.",
      "Archivo de remiendo esta corrupto.", "Arquivo de atualizações está corrompido."}},
    // 32
    {{"Error encountered while patching.", "Yama yapılırken bir hata oluştu.",
      "Beim Patchen ist ein Fehler aufgetreten.", "Se produjo un error durante el remiendo.",
      "Ocorreu um erro durante a atualização."}},
    // 33
    {{"Failed to download the patch catalog.", "Yama kataloğu indirilemedi.",
      "Der Patch-Katalog konnte nicht heruntergeladen werden.", "No se pudo descargar el catálogo de remiendos.",
      "Falha ao baixar o catálogo de atualizações."}},
    // 34
    {{"Failed to calculate the checksum for the shibboleth file.",
      "Shibboleth dosyasının sağlama toplamı hesaplanamadı.",
      "Die Prüfsumme der Shibboleth-Datei konnte nicht berechnet werden.",
      "No se pudo calcular la suma de comprobación del archivo shibboleth.",
      "Falha ao calcular a soma de verificação do arquivo shibboleth."}},
    // 35
    {{"Could not find the registry key. The game does not appear to be installed.",
      "Kayıt defteri anahtarı bulunamadı. Oyun yüklü görünmüyor.",
      "Der Registrierungsschlüssel wurde nicht gefunden. Das Spiel scheint nicht installiert zu sein.",
      "No se encontró la clave del registro. El juego no parece estar instalado.",
      "Não foi possível encontrar a chave do registro. O jogo não parece estar instalado."}},
    // 36
    {{"Failed to match the shibboleth checksum to any known build.",
      "Shibboleth sağlama toplamı bilinen hiçbir sürümle eşleşmedi.",
      "Die Shibboleth-Prüfsumme passt zu keiner bekannten Version.",
      "La suma de comprobación shibboleth no coincide con ninguna versión conocida.",
      "A soma de verificação shibboleth não corresponde a nenhuma versão conhecida."}},
    // 37
    {{"Failed to begin the patch download.", "Yama indirmesi başlatılamadı.",
      "Der Patch-Download konnte nicht gestartet werden.", "No se pudo iniciar la transferencia del remiendo.",
      "Falha ao iniciar o download da atualização."}},
    // 38: Turkish and German show the English text
    {{kNoPatchPath, kNoPatchPath, kNoPatchPath,
      "No tiene la última versión. No se encontró ningún camino de remiendos hasta la última versión.",
      "Você não tem a versão mais recente. Nenhum caminho de atualização para a versão mais recente "
      "foi encontrado."}},
    // 39
    {{kPatching, "Yama: %d%%", kPatching, "Remendar: %d%%", "Atualizando: %d%%"}},
    // 40
    {{"Downloading Patch: %d%%  (%d KB/s)", "Yama Yüklemesi: %d%%  (%d KB/s)", "Patch Download: %d%%  (%d KB/s)",
      "Transferencia del Remiendo: %d%%  (%d KB/s)", "Download de Atualizações: %d%%\u00A0 (%d KB/s)"}},
};

#undef SUPPORT_URL

static_assert(std::size(kUserMessages) == kLastUserMessage - kFirstUserMessage + 1);
static_assert(std::size(kBoosterTexts) == kLastMessage - kLastUserMessage);

size_t LanguageColumn(const std::string& code) {
    for (size_t i = 0; i < std::size(kLanguageCodes); ++i)
        if (code == kLanguageCodes[i])
            return i;
    return 0;  // any other code means English
}

}  // namespace

std::string GetStringForLanguage(int id, const std::string& languageCode) {
    if (id < 0 || id > kLastMessage)
        return std::string();
    if (id < kFirstUserMessage)
        return kFixedTexts[id];
    if (id > kLastUserMessage)
        return kBoosterTexts[id - kLastUserMessage - 1];
    return kUserMessages[id - kFirstUserMessage].text[LanguageColumn(languageCode)];
}

std::string GetLocalizedString(int id) {
    // The language only matters for the user messages; the others skip the registry.
    if (id < kFirstUserMessage || id > kLastUserMessage)
        return GetStringForLanguage(id, "en");
    return GetStringForLanguage(id, ConfigManager::GetLanguage());
}

std::string GetEnglishString(int id) {
    return GetStringForLanguage(id, "en");
}
