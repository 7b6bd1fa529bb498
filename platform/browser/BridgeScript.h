#pragma once
#include <string>
#include <vector>

namespace browser {

// A page object that every document gets at its start, with its functions.
struct ScriptObject {
    std::string name;
    std::vector<std::string> functions;
};

// The user script every frame runs at document start: it defines the script
// objects (each function posts its name and arguments, each with "s" for a
// string or "o" and String(value) for anything else, to the message channel),
// announces the new context, turns window.open into a message, answers a
// {type: 'refresh-interface'} message in the main frame, keeps the error page's
// refresh link from navigating, and refuses drags. Every message is a JSON array
// of strings whose first three items are the kind, the context id and "1" for
// the main frame ("0" otherwise). Names that are not plain identifiers are left out.
std::string BuildBridgeScript(const std::string& channel, const std::vector<ScriptObject>& objects);

}  // namespace browser
