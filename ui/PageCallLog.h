#pragma once
#include <string>

// The page-call log: when QUOR_PAGE_CALL_LOG names a file, every program-to-page
// call is appended to it as one line, "delivered " or "dropped " and the script
// text (escaped texts hold no line break). Safe from any thread and process.
class PageCallLog {
public:
    static void Append(bool delivered, const std::string& script);
};
