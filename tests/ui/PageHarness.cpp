#include "tests/ui/PageHarness.h"

#include <wx/frame.h>

#include "core/text/StringUtils.h"
#include "tests/ui/GuiSession.h"
#include "ui/UiBindingHandler.h"

GameCommandTarget* RecordingOwner::FindGame(const std::string& game) {
    for (auto& panel : panels)
        if (panel->name == game)
            return panel.get();
    return nullptr;
}

RecordingPanel& RecordingOwner::AddPanel(const std::string& name, PanelState state) {
    panels.push_back(std::make_unique<RecordingPanel>(name, state, log));
    return *panels.back();
}

namespace {

// Stands between the page and the program's bridge object to record its answers.
class AnswerRecorder : public browser::Handler {
public:
    AnswerRecorder(browser::RefPtr<UiBindingHandler> inner, std::vector<std::string>& answers)
        : inner(std::move(inner)), answers(answers) {}
    bool Execute(const std::u16string& name, browser::RefPtr<browser::Value> object,
                 const browser::ValueList& arguments, browser::RefPtr<browser::Value>& result,
                 std::u16string& exception) override {
        bool answer = inner->Execute(name, object, arguments, result, exception);
        answers.push_back(WideToUtf8(name) + (answer ? "=true" : "=false"));
        return answer;
    }

private:
    browser::RefPtr<UiBindingHandler> inner;
    std::vector<std::string>& answers;
};

class RecordingClient : public ClientHandler {
public:
    RecordingClient(BridgeOwner* owner, PageHarness& harness) : ClientHandler(owner), harness(harness) {}

    void OnContextCreated(browser::RefPtr<browser::Browser> b, browser::RefPtr<browser::Frame> f,
                          browser::RefPtr<browser::Context> context) override {
        ClientHandler::OnContextCreated(b, f, context);
        browser::RefPtr<browser::Handler> recorder(new AnswerRecorder(GetBindingHandler(), harness.answers));
        context->BindObject("brq_interface", UiBindingHandler::FunctionNames(), recorder);
    }

    bool OnLoadError(browser::RefPtr<browser::Browser> b, browser::RefPtr<browser::Frame> f, int code,
                     const std::string& url, std::string& errorText) override {
        bool answer = ClientHandler::OnLoadError(b, f, code, url, errorText);
        harness.errorTexts.push_back(errorText);
        return answer;
    }

private:
    PageHarness& harness;
};

}  // namespace

PageHarness::PageHarness() {
    GuiSession::UseSystemMimeTypes();
    GuiSession::Ensure();
    window = new wxFrame(nullptr, wxID_ANY, "Brindlemoor Quor!", wxDefaultPosition, wxSize(640, 480));
    window->Show();
    owner.client = browser::RefPtr<ClientHandler>(new RecordingClient(&owner, *this));
}

PageHarness::~PageHarness() {
    if (browser)
        browser->CloseBrowser();
    window->Destroy();
    GuiSession::RunFor(50);
}

void PageHarness::Open(const std::string& url, const std::string& programFolder) {
    if (!programFolder.empty())
        owner.client->SetProgramFolder(programFolder);
    browser =
        browser::Browser::CreateBrowser(window, 0, 0, 640, 480, owner.client, url, ClientHandler::GetBrowserSettings());
}

bool PageHarness::WaitForPageLoads(int count, int timeoutMs) {
    return GuiSession::RunUntil([&] { return owner.pageLoads >= count; }, timeoutMs);
}

void PageHarness::Run(const std::string& script) {
    browser->GetMainFrame()->ExecuteJavaScript(script, std::string(), 0);
}

bool PageHarness::WaitForCalls(size_t n, int timeoutMs) {
    return GuiSession::RunUntil([&] { return answers.size() >= n; }, timeoutMs);
}

std::vector<std::string> PageHarness::LogFrom(size_t first) const {
    return std::vector<std::string>(owner.log.begin() + static_cast<long>(std::min(first, owner.log.size())),
                                    owner.log.end());
}
