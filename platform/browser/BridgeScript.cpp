#include "platform/browser/BridgeScript.h"

#include <cctype>

namespace browser {

namespace {

bool IsIdentifier(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
        return false;
    for (unsigned char c : name)
        if (!std::isalnum(c) && c != '_' && c != '$')
            return false;
    return true;
}

// Everything the page could replace is taken before any page script runs.
const char* const kPrologue = R"JS((function () {
'use strict';
var handlers = window.webkit && window.webkit.messageHandlers;
var channel = handlers && handlers[CHANNEL];
if (!channel) return;
var post = channel.postMessage.bind(channel);
var stringify = JSON.stringify;
var toText = String;
var UrlClass = URL;
var top = window === window.top ? '1' : '0';
var ctx = Math.random().toString(36).slice(2) + '.' + Date.now().toString(36);
function send(list) { try { post(stringify(list)); } catch (e) {} }
function text(v) { try { return toText(v); } catch (e) { return ''; } }
function resolve(u) {
  try { return new UrlClass(text(u), document.baseURI).href; } catch (e) { return text(u); }
}
function bind(objectName, names) {
  var object = {};
  for (var n = 0; n < names.length; n++) {
    (function (name) {
      object[name] = function () {
        var message = ['call', ctx, top, objectName, name];
        for (var i = 0; i < arguments.length; i++) {
          var a = arguments[i];
          if (typeof a === 'string') { message[message.length] = 's'; message[message.length] = a; }
          else { message[message.length] = 'o'; message[message.length] = text(a); }
        }
        send(message);
      };
    })(names[n]);
  }
  window[objectName] = object;
}
send(['ctx', ctx, top, text(location.href)]);
)JS";

const char* const kEpilogue = R"JS(window.open = function (u) {
  send(['popup', ctx, top, u === undefined ? 'about:blank' : resolve(u)]);
  return null;
};
if (top === '1') {
  window.addEventListener('message', function (e) {
    var d = e.data;
    if (d && typeof d === 'object' && d.type === 'refresh-interface') send(['refresh', ctx, top]);
  });
}
document.addEventListener('click', function (e) {
  var t = e.target;
  var link = t && t.closest ? t.closest('a.refresh') : null;
  if (link && document.body && document.body.id === 'technical-difficulties') e.preventDefault();
});
window.addEventListener('dragstart', function (e) { e.preventDefault(); }, true);
})();
)JS";

std::string Quoted(const std::string& identifier) {
    return "'" + identifier + "'";
}

}  // namespace

std::string BuildBridgeScript(const std::string& channel, const std::vector<ScriptObject>& objects) {
    std::string script = kPrologue;
    std::string::size_type at = script.find("CHANNEL");
    script.replace(at, 7, Quoted(IsIdentifier(channel) ? channel : "quor"));
    for (const ScriptObject& object : objects) {
        if (!IsIdentifier(object.name))
            continue;
        script += "bind(" + Quoted(object.name) + ", [";
        bool first = true;
        for (const std::string& function : object.functions) {
            if (!IsIdentifier(function))
                continue;
            if (!first)
                script += ", ";
            script += Quoted(function);
            first = false;
        }
        script += "]);\n";
    }
    script += kEpilogue;
    return script;
}

}  // namespace browser
