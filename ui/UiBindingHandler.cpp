#include "ui/UiBindingHandler.h"

#include "core/text/StringUtils.h"
#include "ui/BridgeOwner.h"
#include "ui/panels/GameCommandTarget.h"

namespace {

enum class TypeTest { None, FirstIsString, FirstTwoAreStrings, OneOfFirstTwoIsString };

enum class Function {
    Download,
    Install,
    Cancel,
    InstallFromDisc,
    Play,
    Patch,
    Pause,
    Unpause,
    Preview,
    ShowBrowser,
    TrackEvent,
    LaunchOptions,
    SetAuthToken,
    SaveLogin,
    ClearLogin,
    SaveAuthToken,
    ClearAuthToken,
    RefreshInterface,
};

struct Rule {
    const char16_t* name;
    Function function;
    size_t minimum;
    TypeTest test;
    size_t reads;  // arguments whose text is handed on
};

// In the order the browser client binds them.
const Rule kRules[] = {
    {u"download", Function::Download, 1, TypeTest::FirstIsString, 1},
    {u"install", Function::Install, 1, TypeTest::FirstIsString, 1},
    {u"cancel", Function::Cancel, 1, TypeTest::FirstIsString, 1},
    {u"installFromDisc", Function::InstallFromDisc, 1, TypeTest::FirstIsString, 1},
    {u"play", Function::Play, 1, TypeTest::FirstIsString, 1},
    {u"patch", Function::Patch, 1, TypeTest::FirstIsString, 1},
    {u"pause", Function::Pause, 1, TypeTest::FirstIsString, 1},
    {u"unpause", Function::Unpause, 1, TypeTest::FirstIsString, 1},
    {u"preview", Function::Preview, 1, TypeTest::FirstIsString, 1},
    {u"showBrowser", Function::ShowBrowser, 1, TypeTest::FirstIsString, 1},
    {u"trackEvent", Function::TrackEvent, 3, TypeTest::FirstIsString, 3},
    {u"launchOptions", Function::LaunchOptions, 1, TypeTest::FirstIsString, 1},
    {u"setAuthToken", Function::SetAuthToken, 2, TypeTest::FirstTwoAreStrings, 2},
    {u"saveLogin", Function::SaveLogin, 2, TypeTest::OneOfFirstTwoIsString, 2},
    {u"clearLogin", Function::ClearLogin, 0, TypeTest::None, 0},
    {u"saveAuthToken", Function::SaveAuthToken, 1, TypeTest::FirstIsString, 1},
    {u"clearAuthToken", Function::ClearAuthToken, 0, TypeTest::None, 0},
    {u"refreshInterface", Function::RefreshInterface, 0, TypeTest::None, 0},
};

bool Passes(TypeTest test, const browser::ValueList& args) {
    switch (test) {
    case TypeTest::None: return true;
    case TypeTest::FirstIsString: return args[0]->IsString();
    case TypeTest::FirstTwoAreStrings: return args[0]->IsString() && args[1]->IsString();
    case TypeTest::OneOfFirstTwoIsString: return args[0]->IsString() || args[1]->IsString();
    }
    return false;
}

// UTF-8 length of a UTF-16 text, counted only as far as the limit.
size_t Utf8LengthUpTo(const std::u16string& text, size_t limit) {
    size_t bytes = 0;
    for (size_t i = 0; i < text.size() && bytes <= limit; ++i) {
        char16_t c = text[i];
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (c >= 0xD800 && c <= 0xDBFF) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes;
}

bool GameCommand(Function function, GameCommandTarget& panel) {
    switch (function) {
    case Function::Install:
        if (panel.GetState() == PanelState::Downloaded)  // only a finished download can be installed
            panel.OnInstall();
        return true;
    case Function::Cancel: panel.OnCancel(); return true;
    case Function::InstallFromDisc: panel.OnInstallFromDisc(); return true;
    case Function::Play: panel.OnPlay(); return true;
    case Function::Patch: panel.OnPatch(); return true;
    case Function::Pause: panel.OnPause(); return true;
    case Function::Unpause: panel.OnUnpause(); return true;
    case Function::Preview: panel.OnPreview(); return true;
    case Function::LaunchOptions: panel.LaunchOptions(); return true;
    default: return false;
    }
}

}  // namespace

const std::vector<std::string>& UiBindingHandler::FunctionNames() {
    static const std::vector<std::string> names = {
        "download",     "install",   "cancel",     "installFromDisc", "play",           "patch",
        "pause",        "unpause",   "preview",    "showBrowser",     "trackEvent",     "launchOptions",
        "setAuthToken", "saveLogin", "clearLogin", "saveAuthToken",   "clearAuthToken", "refreshInterface"};
    return names;
}

UiBindingHandler::UiBindingHandler(BridgeOwner* owner) : owner(owner) {}

GameCommandTarget* UiBindingHandler::FindGame(const std::string& name) {
    return owner ? owner->FindGame(name) : nullptr;
}

bool UiBindingHandler::Execute(const std::u16string& name, browser::RefPtr<browser::Value> object,
                               const browser::ValueList& arguments, browser::RefPtr<browser::Value>&, std::u16string&) {
    object.reset();  // the object the function was called on is not used
    const Rule* rule = nullptr;
    for (const Rule& candidate : kRules)
        if (name == candidate.name)
            rule = &candidate;
    if (!rule || !owner)
        return true;
    if (arguments.size() < rule->minimum || !Passes(rule->test, arguments))
        return false;
    for (const auto& argument : arguments)
        if (Utf8LengthUpTo(argument->GetStringValue(), kMaxArgumentBytes) > kMaxArgumentBytes)
            return false;

    // The string values of the arguments the function reads, in UTF-8.
    std::string text[3];
    try {
        for (size_t i = 0; i < rule->reads; ++i)
            text[i] = WideToUtf8(arguments[i]->GetStringValue());
    } catch (const ConversionError&) {
        return false;  // a lone surrogate: no text any other part could use
    }

    switch (rule->function) {
    case Function::Download: owner->QueueDownload(text[0]); break;
    case Function::ShowBrowser: owner->OpenInBrowser(text[0]); break;
    case Function::TrackEvent: owner->QueueTrackEvent(text[0], text[1], text[2]); break;
    case Function::SetAuthToken:
        if (GameCommandTarget* panel = FindGame(text[0]))
            panel->SetPlayToken(text[1]);
        break;
    case Function::SaveLogin: owner->SaveLogin(text[0], text[1]); break;
    case Function::ClearLogin: owner->ClearLogin(); break;
    case Function::SaveAuthToken: owner->SaveAuthToken(text[0]); break;
    case Function::ClearAuthToken: owner->ClearAuthToken(); break;
    case Function::RefreshInterface: owner->RefreshInterface(); break;
    default:
        if (GameCommandTarget* panel = FindGame(text[0]))
            GameCommand(rule->function, *panel);
        break;
    }
    return true;
}
