// Stands in for the launcher's bridge: the 18 functions record every call with
// the type of each argument, as the launcher's bridge sees them.
(function () {
  'use strict';
  var names = ['download', 'install', 'cancel', 'installFromDisc', 'play', 'patch', 'pause', 'unpause',
    'preview', 'showBrowser', 'trackEvent', 'launchOptions', 'setAuthToken', 'saveLogin', 'clearLogin',
    'saveAuthToken', 'clearAuthToken', 'refreshInterface'];
  var calls = [];
  var bridge = {};
  names.forEach(function (name) {
    bridge[name] = function () {
      var args = Array.prototype.slice.call(arguments);
      calls.push({ name: name, args: args, types: args.map(function (a) { return typeof a; }) });
    };
  });
  window.brq_interface = bridge;
  window.quorBridge = { names: names, calls: calls };
})();
