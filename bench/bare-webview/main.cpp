// The smallest window on the start page: a 901x601 frame holding one web view.
// Once the page has loaded it appends "page-loaded <address>" to LOG and runs,
// in order, the page calls a Quor run delivered (its page-call log's
// "delivered <script>" lines), so it shows the same catalogue.
//   bare-webview ADDRESS CALL_LOG LOG
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/webview.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

class BareApp : public wxApp {
public:
    bool OnInit() override {
        if (argc < 4)
            return false;
        address = argv[1].ToStdString();
        std::ifstream calls(argv[2].ToStdString());
        for (std::string line; std::getline(calls, line);)
            if (line.rfind("delivered ", 0) == 0)
                scripts.push_back(line.substr(10));
        log = argv[3].ToStdString();
        auto* frame = new wxFrame(nullptr, wxID_ANY, "bare-webview", wxDefaultPosition, wxSize(901, 601));
        view = wxWebView::New(frame, wxID_ANY, address);
        view->Bind(wxEVT_WEBVIEW_LOADED, &BareApp::OnLoaded, this);
        frame->Show();
        return true;
    }

private:
    void OnLoaded(wxWebViewEvent&) {
        if (loaded)
            return;
        loaded = true;
        std::ofstream(log, std::ios::app) << "page-loaded " << address << "\n";
        for (const std::string& script : scripts)
            view->RunScriptAsync(wxString::FromUTF8(script));
    }

    std::string address, log;
    std::vector<std::string> scripts;
    wxWebView* view = nullptr;
    bool loaded = false;
};

}  // namespace

wxIMPLEMENT_APP(BareApp);
