#pragma once
#include <string>

// Debian's Chromium, headless, as a page test bench: loads one page into a
// viewport of the given size, lets its scripts run and returns the document
// as the scripts left it. Each instance has a profile folder of its own.
class HeadlessBrowser {
public:
    explicit HeadlessBrowser(std::string profileFolder);

    static bool Available();

    // The serialised document after the page has loaded ("" when the browser failed).
    std::string DumpDocument(const std::string& address, int width, int height);

    // The text of the element <pre id="id"> in a dumped document, entities decoded.
    static std::string PreText(const std::string& document, const std::string& id);

private:
    std::string profile;
    int extraHeight = -1;  // what the headless window takes from the height asked for
};
