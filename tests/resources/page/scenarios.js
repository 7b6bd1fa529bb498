// Scenarios for the start page, run in a real browser after the page's own
// scripts. Each drives the page the way the launcher does (the exact script
// texts the launcher runs) and the way a user does (clicks), then checks the
// page and the calls it made on the bridge. The outcome is written as lines
// "PASS name" / "FAIL name: detail" into <pre id="quor-test-results">.
(function () {
  'use strict';
  var results = [];
  var calls = window.quorBridge.calls;

  function ascii(text) {
    return String(text).replace(/[^\x20-\x7e]|[<>&]/g, function (c) {
      return '\\u' + ('000' + c.charCodeAt(0).toString(16)).slice(-4);
    });
  }
  function check(name, ok, detail) {
    results.push((ok ? 'PASS ' : 'FAIL ') + ascii(name) + (ok ? '' : ': ' + ascii(detail === undefined ? '' : detail)));
  }
  function equal(name, actual, expected) {
    var a = JSON.stringify(actual), e = JSON.stringify(expected);
    check(name, a === e, 'got ' + a + ', expected ' + e);
  }

  // A page call exactly as the launcher writes it: strings as JavaScript string
  // literals, numbers bare; booleans come as numbers 0 and 1.
  function literal(value) {
    if (typeof value === 'number') return String(value);
    return "'" + String(value).replace(/[\\'\u0000-\u001f\u2028\u2029]/g, function (c) {
      var map = { '\\': '\\\\', "'": "\\'", '\n': '\\n', '\r': '\\r', '\t': '\\t' };
      return map[c] || '\\u' + ('000' + c.charCodeAt(0).toString(16)).slice(-4);
    }) + "'";
  }
  function pageCall(method) {
    var args = Array.prototype.slice.call(arguments, 1);
    var text = "$('#main-content').brq('" + method + "'";
    args.forEach(function (a) { text += ', ' + literal(a); });
    text += ');';
    (0, eval)(text);
  }
  function addPanel(name, banner, home, id, login, played, icon) {
    // The launcher's own form, without blanks before the first and last argument.
    var text = "$('#main-content').brq('addGamePanel'," + literal(name) + ', ' + literal(banner) + ', ' +
      literal(home) + ', 0, ' + id + ', ' + (login ? 1 : 0) + ', ' + played + ',' + literal(icon || '') + ');';
    (0, eval)(text);
  }

  function tile(id) { return document.querySelector('.brq-tile[data-game-id="' + id + '"]'); }
  function within(id, selector) { var t = tile(id); return t ? t.querySelector(selector) : null; }
  function visible(el) {
    if (!el) return false;
    var r = el.getBoundingClientRect();
    return r.width > 0 && r.height > 0 && getComputedStyle(el).visibility !== 'hidden';
  }
  function open(selector) { return visible(document.querySelector(selector)); }
  function text(el) { return el ? el.textContent : null; }
  function clear() { calls.length = 0; }
  function made(name) { return calls.filter(function (c) { return c.name === name; }); }
  function callList() { return calls.map(function (c) { return [c.name].concat(c.args); }); }
  function click(el) { if (el) el.click(); }

  function threeGames() {
    pageCall('clearGamePanels');
    addPanel('Star Courier', 'http://127.0.0.1:1/none.png', 'http://127.0.0.1:1/star', 1, false, 0, '');
    addPanel('Moss Garden', '', 'http://127.0.0.1:1/moss?x=1', 2, true, 3, '');
    addPanel('Lantern Keep', '../banners/keep.png', '', 3, false, 1, '');
  }

  var STATE_BUTTONS = {
    2: 'download', 5: 'install', 6: 'installFromDisc', 8: 'play', 10: 'patch', 14: 'download'
  };

  var scenarios = {
    methods: function () {
      var expected = ['checkForValidSession', 'clearGamePanels', 'updateProgress', 'addCancelToProgress',
        'addPauseToProgress', 'startProgress', 'setGamePanelState', 'clickPanel', 'clickGameButton',
        'setAllGamesUrl', 'setGameUrl', 'addGamePanel', 'trackEvent', 'setUniqueId', 'enableDebugMode',
        'trackPageView', 'setManifestVersion', 'onFileDialogClose', 'setSavedLogin', 'setAuthToken',
        'onFileDialogOpen', 'showMessage', 'displayDiagnostics'];
      equal('the plug-in has exactly the 23 page methods', $.fn.brq.methods.slice().sort(), expected.slice().sort());
      var threw = '';
      try { pageCall('noSuchMethod', 1); } catch (e) { threw = String(e); }
      equal('an unknown method is ignored', threw, '');
      // A call for a game the page does not know changes nothing.
      try {
        pageCall('setGamePanelState', 99, '8');
        pageCall('updateProgress', 99, 'x', 1, 2, 3, '');
        pageCall('startProgress', 99);
        pageCall('clickGameButton', 99);
      } catch (e) { threw = String(e); }
      equal('calls for an unknown game do nothing', threw + calls.length, '0');
    },

    panels: function () {
      threeGames();
      equal('three tiles in the order added', Array.prototype.map.call(document.querySelectorAll('.brq-tile'),
        function (t) { return t.getAttribute('data-game-id'); }), ['1', '2', '3']);
      equal('the tile shows the game name', text(within(1, '.brq-name')), 'Star Courier');
      equal('the banner image has the banner address', within(3, '.brq-banner-image').getAttribute('src'), '../banners/keep.png');
      check('an empty banner shows the name instead', !within(2, '.brq-banner-image') && text(within(2, '.brq-banner-title')) === 'Moss Garden');
      equal('the play count', [text(within(1, '.brq-played')), text(within(2, '.brq-played')), text(within(3, '.brq-played'))],
        ['Not played yet', 'Played 3 times', 'Played once']);
      check('a login-required game is marked', !!within(2, '.brq-lock') && !within(1, '.brq-lock'));
      equal('a new tile waits in state 0', tile(1).getAttribute('data-state'), '0');
      check('a new tile offers no button', !visible(within(1, '.brq-main')) || within(1, '.brq-main').disabled);

      for (var s = 0; s <= 14; s++) {
        clear();
        pageCall('setGamePanelState', 1, String(s));
        var t = tile(1), main = within(1, '.brq-main');
        equal('state ' + s + ' is shown', t.getAttribute('data-state'), String(s));
        check('state ' + s + ' has a status text', s === 12 || text(within(1, '.brq-status')).length > 0, 'empty');
        if (s === 12) {
          check('state 12 hides the tile', !visible(t), 'tile visible');
          continue;
        }
        check('state ' + s + ' shows the tile', visible(t), 'tile hidden');
        if (STATE_BUTTONS[s]) {
          check('state ' + s + ' has an active main button', visible(main) && !main.disabled, 'no button');
          click(main);
          var expected = [[STATE_BUTTONS[s], 'Star Courier']];
          equal('the main button in state ' + s, callList(), expected);
        } else {
          check('state ' + s + ' has no active main button', !visible(main) || main.disabled, 'button active');
          click(main);
          equal('nothing is called in state ' + s, callList(), []);
        }
      }
      pageCall('setGamePanelState', 1, '12');
      var order = Array.prototype.filter.call(document.querySelectorAll('.brq-tile'), visible)
        .map(function (t) { return t.getAttribute('data-game-id'); });
      equal('a hidden tile leaves its place to the others', order, ['2', '3']);
      pageCall('setGamePanelState', 1, '2');
      check('the tile comes back from state 12', visible(tile(1)));

      clear();
      click(within(2, '.brq-website'));
      equal('the website link previews the game', callList(), [['preview', 'Moss Garden']]);
      pageCall('setGamePanelState', 2, '8');
      clear();
      click(within(2, '.brq-options'));
      equal('the options link in state 8', callList(), [['launchOptions', 'Moss Garden']]);

      addPanel('Star Courier', 'http://127.0.0.1:1/other.png', '', 1, false, 7, '');
      equal('a panel added again replaces its tile', [document.querySelectorAll('.brq-tile[data-game-id="1"]').length,
        text(within(1, '.brq-played'))], [1, 'Played 7 times']);
      pageCall('clearGamePanels');
      equal('clearGamePanels removes every tile', document.querySelectorAll('.brq-tile').length, 0);
    },

    update: function () {
      pageCall('clearGamePanels');
      addPanel('Auto-Update', '~autoupdate~', '', 0, false, 0, '');
      addPanel('Star Courier', '', '', 1, false, 0, '');
      check('the update tile has its own look', tile(0).classList.contains('brq-update'));
      check('the update tile loads no banner image', !within(0, '.brq-banner-image'));
      pageCall('setGamePanelState', 0, '2');
      clear();
      click(within(0, '.brq-main'));
      equal('the update tile downloads', callList(), [['download', 'Auto-Update']]);
      pageCall('setGamePanelState', 0, '3');
      pageCall('startProgress', 0);
      pageCall('addPauseToProgress', 0);
      pageCall('addCancelToProgress', 0);
      pageCall('updateProgress', 0, '10%  (5 KB/s)', 10, 100, 5, '');
      check('the update tile shows progress', visible(within(0, '.brq-progress')));
      equal('the update tile has no pause or cancel', [within(0, '.brq-pause'), within(0, '.brq-cancel')], [null, null]);
      clear();
      pageCall('setAuthToken', 'tok');
      addPanel('Moss Garden', '', '', 2, false, 0, '');
      equal('a token is handed to new games, not to the update', callList(), [['setAuthToken', 'Moss Garden', 'tok']]);
    },

    clickGameButton: function () {
      threeGames();
      var expectations = { 2: 'download', 14: 'download', 5: 'install', 6: 'installFromDisc', 8: 'play' };
      for (var s = 0; s <= 14; s++) {
        pageCall('setGamePanelState', 3, String(s));
        clear();
        pageCall('clickGameButton', 3);
        equal('clickGameButton in state ' + s, callList(), expectations[s] ? [[expectations[s], 'Lantern Keep']] : []);
      }
      // A game that needs a login asks for it before it plays.
      pageCall('setGamePanelState', 2, '8');
      clear();
      pageCall('clickGameButton', 2);
      check('a login-required game opens the login form', open('.brq-login'));
      equal('and does not play yet', made('play').length, 0);
      document.querySelector('.brq-login-name').value = 'alice';
      document.querySelector('.brq-password').value = 'pw';
      click(document.querySelector('.brq-login-submit'));
      var names = callList().map(function (c) { return c[0]; });
      check('after the login the game plays with its token', names[names.length - 1] === 'play' &&
        names[names.length - 2] === 'setAuthToken', JSON.stringify(callList()));
      var token = made('setAuthToken').pop().args[1];
      check('the token is not empty', typeof token === 'string' && token.length > 8, token);

      // clickPanel selects the tile and turns to its page.
      pageCall('clearGamePanels');
      for (var i = 1; i <= 8; i++) addPanel('Game ' + i, '', '', i, false, 0, '');
      check('tile 8 is on the second page', !visible(tile(8)));
      pageCall('clickPanel', 8);
      check('clickPanel turns to the tile', visible(tile(8)) && !visible(tile(1)));
      check('clickPanel selects the tile', tile(8).classList.contains('brq-selected'));
      pageCall('clickPanel', 1);
      check('and back', visible(tile(1)) && !visible(tile(8)) && !tile(8).classList.contains('brq-selected'));
      click(document.querySelector('.brq-next'));
      check('the pager turns pages', visible(tile(7)) && !visible(tile(6)));
    },

    // Tiles placed one at a time, a tile hidden and shown again, a tile added
    // again in place of an earlier one: the pages hold the visible tiles in the
    // order added, as they would after laying all of them out anew.
    catalogue: function () {
      function onScreen() {
        return Array.prototype.filter.call(document.querySelectorAll('.brq-tile'), visible)
          .map(function (t) { return t.getAttribute('data-game-id'); });
      }
      function pageNumber() { return text(document.querySelector('.brq-page-number')); }
      pageCall('clearGamePanels');
      for (var i = 1; i <= 8; i++) addPanel('Game ' + i, '', '', i, false, 0, '');
      pageCall('setGamePanelState', 2, '12');
      equal('a hidden tile makes room on its page', onScreen(), ['1', '3', '4', '5', '6', '7']);
      click(document.querySelector('.brq-next'));
      equal('the second page', [onScreen(), pageNumber()], [['8'], '2 / 2']);
      addPanel('Game 9', '', '', 9, false, 0, '');
      addPanel('Game 10', '', '', 10, false, 0, '');
      equal('tiles added on the page shown appear there', [onScreen(), pageNumber()], [['8', '9', '10'], '2 / 2']);
      for (var j = 11; j <= 15; j++) addPanel('Game ' + j, '', '', j, false, 0, '');
      equal('tiles added past it make a third page', [onScreen(), pageNumber()],
        [['8', '9', '10', '11', '12', '13'], '2 / 3']);
      addPanel('Game 3 again', '', '', 3, false, 0, '');
      equal('a tile added again moves to the end', [onScreen(), pageNumber()],
        [['9', '10', '11', '12', '13', '14'], '2 / 3']);
      pageCall('setGamePanelState', 2, '2');
      equal('a tile shown again takes its place back', [onScreen(), pageNumber()],
        [['8', '9', '10', '11', '12', '13'], '2 / 3']);
      pageCall('setGamePanelState', 3, '12');
      pageCall('setGamePanelState', 15, '12');
      click(document.querySelector('.brq-next'));
      equal('the last page', [onScreen(), pageNumber()], [['14'], '3 / 3']);

      pageCall('clearGamePanels');
      for (var k = 1; k <= 2000; k++) {
        addPanel('Game ' + k, '', '', k, false, 0, '');
        pageCall('setGamePanelState', k, '2');
      }
      equal('a large catalogue', [document.querySelectorAll('.brq-tile').length, onScreen(), pageNumber()],
        [2000, ['1', '2', '3', '4', '5', '6'], '1 / 334']);
      pageCall('setGamePanelState', 2000, '8');
      equal('a call finds its tile among them', tile(2000).getAttribute('data-state'), '8');
    },

    progress: function () {
      threeGames();
      pageCall('setGamePanelState', 1, '3');
      pageCall('startProgress', 1);
      pageCall('addPauseToProgress', 1);
      pageCall('addCancelToProgress', 1);
      check('the progress bar shows', visible(within(1, '.brq-progress')));
      check('the actions make way for it', !visible(within(1, '.brq-actions')));
      pageCall('updateProgress', 1, '50%  (30 KB/s)', 512, 1024, 30, '');
      equal('half done', within(1, '.brq-progress').getAttribute('data-fraction'), '0.500');
      equal('the status text', text(within(1, '.brq-progress-text')), '50%  (30 KB/s)');
      pageCall('updateProgress', 1, '0%  (0 KB/s)', 100, 0, 0, '');
      equal('a total of 0 shows nothing done', within(1, '.brq-progress').getAttribute('data-fraction'), '0.000');
      pageCall('updateProgress', 1, '100%  (0 KB/s)', 300, 200, 0, '');
      equal('more done than in all is full', within(1, '.brq-progress').getAttribute('data-fraction'), '1.000');

      clear();
      click(within(1, '.brq-pause'));
      equal('pause', callList(), [['pause', 'Star Courier']]);
      equal('the pause button turns into resume', text(within(1, '.brq-pause')), 'Resume');
      clear();
      click(within(1, '.brq-pause'));
      equal('resume', callList(), [['unpause', 'Star Courier']]);
      equal('and back into pause', text(within(1, '.brq-pause')), 'Pause');
      clear();
      click(within(1, '.brq-cancel'));
      equal('cancel', callList(), [['cancel', 'Star Courier']]);

      // A reload while the download is paused: the replay's paused progress
      // gives the button its state, and the first click resumes.
      pageCall('startProgress', 1);
      pageCall('addPauseToProgress', 1);
      pageCall('addCancelToProgress', 1);
      equal('a new progress is not paused', text(within(1, '.brq-pause')), 'Pause');
      pageCall('updateProgress', 1, '40%  (Paused)', 400, 1000, 0, 'g.exe 0 MB of 1 MB');
      equal('a paused progress turns the button into resume', text(within(1, '.brq-pause')), 'Resume');
      equal('with the transfer\'s numbers', within(1, '.brq-progress').getAttribute('data-fraction'), '0.400');
      clear();
      click(within(1, '.brq-pause'));
      equal('the first click resumes', callList(), [['unpause', 'Star Courier']]);
      equal('and shows pause again', text(within(1, '.brq-pause')), 'Pause');
      pageCall('updateProgress', 1, '41%  (30 KB/s)', 410, 1000, 30, '');
      equal('a running progress leaves it', text(within(1, '.brq-pause')), 'Pause');
      ['40%\u00a0 (Pausado)', '40%  (Durdu)', '40%  (angehalten)'].forEach(function (status) {
        pageCall('startProgress', 1);
        pageCall('addPauseToProgress', 1);
        pageCall('updateProgress', 1, status, 400, 1000, 0, '');
        equal('paused in every language: ' + status, within(1, '.brq-pause').classList.contains('brq-paused'), true);
      });
      pageCall('startProgress', 1);
      pageCall('addPauseToProgress', 1);
      pageCall('addCancelToProgress', 1);
      equal('startProgress clears it', text(within(1, '.brq-pause')), 'Pause');

      pageCall('addPauseToProgress', 1);
      equal('buttons are added once', within(1, '.brq-progress-buttons').children.length, 2);
      pageCall('setGamePanelState', 1, '5');
      check('the progress goes with the state', !visible(within(1, '.brq-progress')) && visible(within(1, '.brq-main')));
      pageCall('setGamePanelState', 1, '11');
      pageCall('startProgress', 1);
      pageCall('updateProgress', 1, 'Patching: 25%', 250, 1000, 0, '');
      equal('patching has no buttons', within(1, '.brq-progress-buttons').children.length, 0);
      pageCall('setGamePanelState', 1, '13');
      pageCall('startProgress', 1);
      pageCall('updateProgress', 1, 'Checking Install: 40%', 400, 1000, 0, 'data/level one.dat');
      equal('a check shows its file', text(within(1, '.brq-progress-record')), 'data/level one.dat');
      equal('a check shows its share', within(1, '.brq-progress').getAttribute('data-fraction'), '0.400');
      pageCall('startProgress', 1);
      equal('startProgress resets the bar', [within(1, '.brq-progress').getAttribute('data-fraction'),
        text(within(1, '.brq-progress-text')), text(within(1, '.brq-progress-record'))], ['0.000', '', '']);
      pageCall('setGamePanelState', 1, '8');
      check('ready hides the progress', !visible(within(1, '.brq-progress')));
      // After a reload the launcher may send progress without a state change first.
      pageCall('updateProgress', 2, '5%  (1 KB/s)', 5, 100, 1, '');
      check('progress without startProgress still shows', visible(within(2, '.brq-progress')));
    },

    message: function () {
      threeGames();
      pageCall('showMessage', 'Failed to open configuration file.\n\nProgram cannot continue.', 1);
      check('the message box opens', open('.brq-message'));
      var p = document.querySelector('.brq-message-text');
      equal('the text keeps its line breaks', p.textContent, 'Failed to open configuration file.\n\nProgram cannot continue.');
      equal('and shows them', getComputedStyle(p).whiteSpace, 'pre-wrap');
      var lineHeight = parseFloat(getComputedStyle(p).lineHeight) || 17;
      check('three lines are drawn', p.getBoundingClientRect().height >= 2.5 * lineHeight, p.getBoundingClientRect().height);
      pageCall('showMessage', "It's <b>not</b> markup \\ here", 1);
      equal('a second message waits', p.textContent, 'Failed to open configuration file.\n\nProgram cannot continue.');
      click(document.querySelector('.brq-message-ok'));
      equal('OK shows the next message as text', [p.textContent, p.querySelector('b')], ["It's <b>not</b> markup \\ here", null]);
      click(document.querySelector('.brq-message-ok'));
      check('OK closes the last message', !open('.brq-message'));
      equal('a message calls nothing', calls.length, 0);
    },

    folderDialog: function () {
      threeGames();
      var cases = [
        ['the next state', function () { pageCall('setGamePanelState', 1, '3'); }],
        ['startProgress', function () { pageCall('startProgress', 1); }],
        ['updateProgress', function () { pageCall('updateProgress', 1, '1%  (1 KB/s)', 1, 100, 1, ''); }],
        ['a message', function () { pageCall('showMessage', 'Not enough disk space.', 1); }],
        ['onFileDialogClose', function () { pageCall('onFileDialogClose', ''); }]
      ];
      cases.forEach(function (c) {
        pageCall('onFileDialogOpen', '');
        check('the folder overlay opens (' + c[0] + ')', open('.brq-folder-dialog'));
        c[1]();
        check(c[0] + ' clears the folder overlay', !open('.brq-folder-dialog'));
      });
      equal('the overlay calls nothing', calls.length, 0);
    },

    login: function () {
      pageCall('clearGamePanels');
      pageCall('setSavedLogin', 'se\'cret', 'alice');
      pageCall('setAuthToken', 'tok-1');
      addPanel('Star Courier', '', '', 1, false, 0, '');
      addPanel('Moss Garden', '', '', 2, true, 0, '');
      equal('the saved login fills the form, password first', [document.querySelector('.brq-login-name').value,
        document.querySelector('.brq-password').value, document.querySelector('.brq-remember').checked], ['alice', "se'cret", true]);
      equal('the token is handed to each game', callList(), [['setAuthToken', 'Star Courier', 'tok-1'], ['setAuthToken', 'Moss Garden', 'tok-1']]);
      check('the header shows the login', text(document.querySelector('.brq-user')).indexOf('alice') >= 0);
      pageCall('setGamePanelState', 2, '8');
      clear();
      click(within(2, '.brq-main'));
      equal('play with a token plays at once', callList(), [['setAuthToken', 'Moss Garden', 'tok-1'], ['play', 'Moss Garden']]);
      equal('all arguments are strings', calls.every(function (c) { return c.types.every(function (t) { return t === 'string'; }); }), true);

      clear();
      click(document.querySelector('.brq-logout'));
      equal('log out', callList().map(function (c) { return c[0]; }), ['clearAuthToken', 'trackEvent', 'setAuthToken', 'setAuthToken']);
      equal('the games lose the token', made('setAuthToken').map(function (c) { return c.args[1]; }), ['', '']);
      clear();
      click(within(2, '.brq-main'));
      check('without a token the login form opens', open('.brq-login') && made('play').length === 0);
      click(document.querySelector('.brq-login-cancel'));
      check('cancel closes it', !open('.brq-login') && calls.length === 0);

      click(document.querySelector('.brq-login-open'));
      document.querySelector('.brq-login-name').value = '';
      click(document.querySelector('.brq-login-submit'));
      check('an empty login name is refused', open('.brq-login') && calls.length === 0 &&
        text(document.querySelector('.brq-login-error')).length > 0);
      document.querySelector('.brq-login-name').value = 'bob';
      document.querySelector('.brq-password').value = 'hunter2';
      document.querySelector('.brq-remember').checked = true;
      click(document.querySelector('.brq-login-submit'));
      var saved = made('saveAuthToken');
      equal('remember saves login and token', [made('saveLogin').map(function (c) { return c.args; }), saved.length], [[['bob', 'hunter2']], 1]);
      equal('the new token goes to every game', made('setAuthToken').map(function (c) { return c.args; }),
        [['Star Courier', saved[0].args[0]], ['Moss Garden', saved[0].args[0]]]);
      check('the form closes', !open('.brq-login'));

      clear();
      click(document.querySelector('.brq-logout'));
      click(document.querySelector('.brq-login-open'));
      document.querySelector('.brq-remember').checked = false;
      click(document.querySelector('.brq-login-submit'));
      equal('without remember nothing is kept', [made('clearLogin').length, made('saveLogin').length, made('saveAuthToken').length], [1, 0, 0]);
      clear();
      pageCall('checkForValidSession');
      equal('the session check calls nothing', calls.length, 0);
    },

    diagnostics: function () {
      pageCall('displayDiagnostics', '');
      check('the diagnostics view opens', open('.brq-diagnostics'));
      check('and waits for the report', open('.brq-diagnostics-wait') && !open('.brq-diagnostics-report'));
      pageCall('displayDiagnostics', 'Quor 31680\nProxy: none\n<script>x</script>');
      equal('the report is shown as text', document.querySelector('.brq-diagnostics-report').textContent,
        'Quor 31680\nProxy: none\n<script>x</script>');
      check('the wait ends', !open('.brq-diagnostics-wait'));
      pageCall('displayDiagnostics', 'Quor! Diagnostic Information <br>Game name : Tom & Jerry<br>' +
        'Game name : <script>window.injected = 1;</script><b>x</b><br><br>');
      var report = document.querySelector('.brq-diagnostics-report');
      equal('each piece between "<br>" is a line of its own',
        Array.prototype.map.call(report.children, function (line) { return line.textContent; }),
        ['Quor! Diagnostic Information ', 'Game name : Tom & Jerry',
          'Game name : <script>window.injected = 1;</script><b>x</b>', '', '']);
      check('the lines are text, never markup', report.querySelectorAll('script, b, br').length === 0 &&
        Array.prototype.every.call(report.children, function (line) {
          return line.childNodes.length <= 1 && (!line.firstChild || line.firstChild.nodeType === 3);
        }));
      check('nothing in the report ran', window.injected === undefined);
      pageCall('displayDiagnostics', '');
      check('an empty report waits again', open('.brq-diagnostics-wait') && !open('.brq-diagnostics-report'));
      click(document.querySelector('.brq-diagnostics-close'));
      check('close', !open('.brq-diagnostics'));
      equal('diagnostics call nothing', calls.length, 0);
    },

    tracking: function () {
      threeGames();
      clear();
      pageCall('trackEvent', 'GamePanel', 'OnDownloadClick', 'Star Courier', -1);
      pageCall('trackPageView', '', '1.0');
      pageCall('trackEvent', 'Error', 'Patch file is corrupt.', '123', -1);
      equal('the launcher\'s events are never sent back', calls.length, 0);
      check('the debug strip is off', !open('.brq-debug'));
      pageCall('enableDebugMode');
      check('debug mode shows the tracked calls', open('.brq-debug') &&
        text(document.querySelector('.brq-debug')).indexOf('corrupt') >= 0, text(document.querySelector('.brq-debug')));
      equal('still nothing sent', calls.length, 0);
      pageCall('setUniqueId', '12345678901234567890');
      pageCall('setManifestVersion', '2.4');
      check('the footer shows the id and the catalogue version',
        text(document.querySelector('.brq-unique-id')).indexOf('123456789012') >= 0 &&
        text(document.querySelector('.brq-manifest-version')).indexOf('2.4') >= 0);
    },

    links: function () {
      check('the links wait for their addresses', document.querySelector('.brq-all-games').disabled);
      pageCall('setAllGamesUrl', 'http://127.0.0.1:1/quor/games.html');
      pageCall('setGameUrl', 'http://127.0.0.1:1/quor/game.html');
      click(document.querySelector('.brq-all-games'));
      click(document.querySelector('.brq-game-page'));
      click(document.querySelector('.brq-refresh'));
      equal('links open through the launcher', callList(), [
        ['trackEvent', 'StartPage', 'OnAllGamesClick', 'http://127.0.0.1:1/quor/games.html'],
        ['showBrowser', 'http://127.0.0.1:1/quor/games.html'],
        ['trackEvent', 'StartPage', 'OnCommunityClick', 'http://127.0.0.1:1/quor/game.html'],
        ['showBrowser', 'http://127.0.0.1:1/quor/game.html'],
        ['refreshInterface']]);
    },

    // Every one of the 18 bridge functions is reachable from the page.
    bridge: function () {
      threeGames();
      pageCall('setAllGamesUrl', 'http://127.0.0.1:1/a');
      var press = function (id, state) { pageCall('setGamePanelState', id, state); click(within(id, '.brq-main')); };
      press(1, '2'); press(1, '5'); press(1, '6'); press(1, '8'); press(1, '10');
      pageCall('setGamePanelState', 1, '3');
      pageCall('startProgress', 1);
      pageCall('addPauseToProgress', 1);
      pageCall('addCancelToProgress', 1);
      click(within(1, '.brq-pause')); click(within(1, '.brq-pause')); click(within(1, '.brq-cancel'));
      pageCall('setGamePanelState', 1, '8');
      click(within(1, '.brq-website')); click(within(1, '.brq-options'));
      click(document.querySelector('.brq-all-games'));
      click(document.querySelector('.brq-refresh'));
      click(document.querySelector('.brq-login-open'));
      document.querySelector('.brq-login-name').value = 'a';
      document.querySelector('.brq-password').value = 'b';
      document.querySelector('.brq-remember').checked = true;
      click(document.querySelector('.brq-login-submit'));
      click(document.querySelector('.brq-logout'));
      click(document.querySelector('.brq-login-open'));
      document.querySelector('.brq-remember').checked = false;
      click(document.querySelector('.brq-login-submit'));
      var used = {};
      calls.forEach(function (c) { used[c.name] = true; });
      equal('all 18 functions are used', Object.keys(used).sort(), window.quorBridge.names.slice().sort());
    },

    escaping: function () {
      pageCall('clearGamePanels');
      var name = "Tom's \"Game\" \\ <img src=x onerror=window.quorHacked=1>\u2028end";
      addPanel(name, '', '', 5, false, 0, '');
      equal('the name arrives whole, as text', text(within(5, '.brq-name')), name);
      check('markup in a name never runs', !window.quorHacked && !within(5, '.brq-name img'));
      pageCall('setGamePanelState', 5, '2');
      clear();
      click(within(5, '.brq-main'));
      equal('the name goes back unchanged', callList(), [['download', name]]);
    },

    layout: function () {
      pageCall('setUniqueId', '98765432109876543210');
      pageCall('setManifestVersion', 'demo-1');
      pageCall('setAllGamesUrl', 'http://127.0.0.1:1/a');
      pageCall('setAuthToken', 'tok');
      pageCall('clearGamePanels');
      addPanel('Auto-Update', '~autoupdate~', '', 0, false, 0, '');
      var names = ['Star Courier', 'Moss Garden', 'Lantern Keep with a very long name that does not fit', 'Four', 'Five', 'Six', 'Seven'];
      names.forEach(function (n, i) { addPanel(n, '', '', i + 1, i === 1, i * 5, ''); });
      var states = ['3', '8', '13', '10', '11', '14', '2', '4'];
      states.forEach(function (s, i) {
        pageCall('setGamePanelState', i, s);
        if (s === '3' || s === '4' || s === '11' || s === '13') {
          pageCall('startProgress', i);
          pageCall('addPauseToProgress', i);
          pageCall('addCancelToProgress', i);
          pageCall('updateProgress', i, 'Download de Atualiza\u00e7\u00f5es: 99%\u00a0 (12345 KB/s)', 99, 100, 12345, 'a/very/long/path/to/some/file/in/the/game/folder.dat');
        }
      });
      equal('the viewport is the launcher\'s', [window.innerWidth, window.innerHeight], [900, 600]);
      var doc = document.documentElement;
      check('nothing overflows across', doc.scrollWidth <= window.innerWidth, doc.scrollWidth);
      check('nothing overflows down', doc.scrollHeight <= window.innerHeight, doc.scrollHeight);
      var footer = document.querySelector('.brq-footer').getBoundingClientRect();
      var header = document.querySelector('.brq-header').getBoundingClientRect();
      equal('header and footer fit', [header.top >= 0, footer.bottom <= window.innerHeight], [true, true]);
      var tiles = Array.prototype.filter.call(document.querySelectorAll('.brq-tile'), visible);
      equal('six tiles on the first page', tiles.length, 6);
      tiles.forEach(function (t) {
        var r = t.getBoundingClientRect();
        check('tile ' + t.getAttribute('data-game-id') + ' lies between header and footer',
          r.top >= header.bottom && r.bottom <= footer.top && r.left >= 0 && r.right <= window.innerWidth, JSON.stringify(r));
        Array.prototype.forEach.call(t.querySelectorAll('.brq-button'), function (b) {
          if (!visible(b)) return;
          var br = b.getBoundingClientRect();
          check('a button of tile ' + t.getAttribute('data-game-id') + ' is inside it',
            br.top >= r.top && br.bottom <= r.bottom + 0.5 && br.right <= r.right + 0.5, JSON.stringify(br));
        });
      });
      check('the pager shows', open('.brq-pager'));
      pageCall('displayDiagnostics', new Array(200).join('a long diagnostic line\n'));
      var box = document.querySelector('.brq-diagnostics .brq-box').getBoundingClientRect();
      check('a long report stays inside the window', box.top >= 0 && box.bottom <= window.innerHeight, JSON.stringify(box));
      pageCall('showMessage', new Array(80).join('A very long message. '), 1);
      var m = document.querySelector('.brq-message .brq-box').getBoundingClientRect();
      check('a long message stays inside the window', m.top >= 0 && m.bottom <= window.innerHeight, JSON.stringify(m));
      check('still no overflow', doc.scrollHeight <= window.innerHeight && doc.scrollWidth <= window.innerWidth);
    },

    languages: function () {
      threeGames();
      pageCall('setGamePanelState', 1, '2');
      var expected = { en: 'Download', de: 'Herunterladen', es: 'Descargar', pt: 'Baixar', tr: '\u0130ndir' };
      var lang = (/[?&]lang=([a-z]+)/.exec(location.search) || [])[1] || 'en';
      equal('the page speaks ' + lang, text(within(1, '.brq-main')), expected[lang] || 'Download');
      var skin = (/[?&]skin=(\d)/.exec(location.search) || [])[1];
      equal('the skin', document.getElementById('main-content').classList.contains('brq-skin-alt'), skin === '1');
      equal('the build number', text(document.querySelector('.brq-build')), 'Quor 31680');
    }
  };

  var name = window.QUOR_SCENARIO;
  try {
    if (!scenarios[name]) throw new Error('no scenario ' + name);
    scenarios[name]();
  } catch (e) {
    check('scenario ran to its end', false, e && e.stack ? e.stack : String(e));
  }
  results.push('DONE');
  var out = document.createElement('pre');
  out.id = 'quor-test-results';
  out.textContent = results.join('\n');
  document.body.appendChild(out);
})();
