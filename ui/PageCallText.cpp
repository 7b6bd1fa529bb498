#include "ui/PageCallText.h"

#include <cstdio>

namespace PageCallText {

namespace {

const char kPrefix[] = "$('#main-content').brq('";

// Length of the well-formed UTF-8 sequence at text[i], and its code point; 0 when malformed.
size_t Utf8Sequence(const std::string& text, size_t i, uint32_t& code) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        code = c;
        return 1;
    }
    size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    code = c & (length == 2 ? 0x1Fu : length == 3 ? 0x0Fu : 0x07u);
    for (size_t k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3Fu);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void AppendUnicodeEscape(std::string& out, uint32_t code) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(code));
    out += buffer;
}

std::string Quoted(const std::string& text) {
    return "'" + EscapeJsString(text) + "'";
}

std::string Number(int32_t value) {
    return std::to_string(value);
}

std::string Flag(bool value) {
    return value ? "1" : "0";
}

std::string Call(const char* method) {
    return std::string(kPrefix) + method + "');";
}

std::string Call(const char* method, const std::string& arguments) {
    return std::string(kPrefix) + method + "', " + arguments + ");";
}

}  // namespace

std::string EscapeJsString(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t code = 0;
        size_t length = Utf8Sequence(text, i, code);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for each byte that starts no character
            ++i;
            continue;
        }
        switch (code) {
        case '\\': out += "\\\\"; break;
        case '\'': out += "\\'"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F) || code == 0x2028 || code == 0x2029)
                AppendUnicodeEscape(out, code);
            else
                out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

std::string CheckForValidSession() {
    return Call("checkForValidSession");
}
std::string ClearGamePanels() {
    return Call("clearGamePanels");
}

std::string UpdateProgress(int32_t gameId, const std::string& status, int32_t done, int32_t total, int32_t speed,
                           const std::string& record) {
    return Call("updateProgress", Number(gameId) + ", " + Quoted(status) + ", " + Number(done) + ", " + Number(total) +
                                      ", " + Number(speed) + ", " + Quoted(record));
}

std::string AddCancelToProgress(int32_t gameId) {
    return Call("addCancelToProgress", Number(gameId));
}
std::string AddPauseToProgress(int32_t gameId) {
    return Call("addPauseToProgress", Number(gameId));
}
std::string StartProgress(int32_t gameId) {
    return Call("startProgress", Number(gameId));
}

std::string SetGamePanelState(int32_t gameId, int32_t state) {
    return Call("setGamePanelState", Number(gameId) + ", " + Quoted(Number(state)));
}

std::string ClickPanel(int32_t gameId) {
    return Call("clickPanel", Number(gameId));
}
std::string ClickGameButton(int32_t gameId) {
    return Call("clickGameButton", Number(gameId));
}
std::string SetAllGamesUrl(const std::string& address) {
    return Call("setAllGamesUrl", Quoted(address));
}
std::string SetGameUrl(const std::string& address) {
    return Call("setGameUrl", Quoted(address));
}

std::string AddGamePanel(const std::string& name, const std::string& banner, const std::string& homePage, bool flag,
                         int32_t gameId, bool loginRequired, int32_t timesPlayed, const std::string& iconUrl) {
    // No blank after the first and before the last argument: the page has always had it so.
    return std::string(kPrefix) + "addGamePanel'," + Quoted(name) + ", " + Quoted(banner) + ", " + Quoted(homePage) +
           ", " + Flag(flag) + ", " + Number(gameId) + ", " + Flag(loginRequired) + ", " + Number(timesPlayed) + "," +
           Quoted(iconUrl) + ");";
}

std::string TrackEvent(const std::string& category, const std::string& action, const std::string& label,
                       int32_t value) {
    return Call("trackEvent", Quoted(category) + ", " + Quoted(action) + ", " + Quoted(label) + ", " + Number(value));
}

std::string SetUniqueId(const std::string& serial) {
    return Call("setUniqueId", Quoted(serial));
}
std::string EnableDebugMode() {
    return Call("enableDebugMode");
}

std::string TrackPageView(const std::string& first, const std::string& second) {
    return Call("trackPageView", Quoted(first) + ", " + Quoted(second));
}

std::string SetManifestVersion(const std::string& version) {
    return Call("setManifestVersion", Quoted(version));
}

std::string OnFileDialogClose() {
    return Call("onFileDialogClose", Quoted(""));
}

std::string SetSavedLogin(const std::string& password, const std::string& loginName) {
    return Call("setSavedLogin", Quoted(password) + ", " + Quoted(loginName));
}

std::string SetAuthToken(const std::string& token) {
    return Call("setAuthToken", Quoted(token));
}
std::string OnFileDialogOpen() {
    return Call("onFileDialogOpen", Quoted(""));
}
std::string ShowMessage(const std::string& text) {
    return Call("showMessage", Quoted(text) + ", 1");
}

std::string DisplayDiagnostics(const std::string& report) {
    return Call("displayDiagnostics", Quoted(report));
}

}  // namespace PageCallText
