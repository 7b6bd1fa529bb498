/*
 * The start page's plug-in: $('#main-content').brq('method', args...).
 *
 * The launcher drives the page through the methods below and the page answers
 * through window.brq_interface. Every text from the launcher is put into the
 * page as text, never as markup.
 */
(function ($) {
  'use strict';

  var TEXTS = {
    en: {
      allGames: 'All games', community: 'Community', refresh: 'Refresh', logIn: 'Log in', logOut: 'Log out',
      loading: 'Loading the game list\u2026', noGames: 'No games to show.', folderDialog: 'Choose the folder for your games in the dialog.',
      logInTitle: 'Log in to play', loginName: 'Login name', password: 'Password', remember: 'Remember me on this computer',
      cancel: 'Cancel', diagnostics: 'Diagnostics', collecting: 'Collecting diagnostic information\u2026', close: 'Close', ok: 'OK',
      needName: 'Enter your login name and password.', signedIn: 'Signed in as {0}', signedInToken: 'Signed in',
      played: 'Played {0} times', playedOnce: 'Played once', neverPlayed: 'Not played yet',
      website: 'Website', options: 'Options', pause: 'Pause', resume: 'Resume', update: 'Launcher update',
      s0: 'Getting ready\u2026', s1: 'Not available for download', s2: 'Not installed', s3: 'Downloading',
      s4: 'Downloading update', s5: 'Ready to install', s6: 'Disc found in the drive', s7: 'Installing\u2026',
      s8: 'Ready to play', s9: 'Playing', s10: 'Update available', s11: 'Updating', s13: 'Checking the installation',
      s14: 'The download failed', bDownload: 'Download', bRetry: 'Retry download', bInstall: 'Install',
      bDisc: 'Install from disc', bPlay: 'Play', bPatch: 'Update', bWait: 'Please wait', bRunning: 'Running',
      updateDownload: 'Download update', page: '{0} / {1}'
    },
    de: {
      allGames: 'Alle Spiele', community: 'Community', refresh: 'Aktualisieren', logIn: 'Anmelden', logOut: 'Abmelden',
      loading: 'Die Spieleliste wird geladen\u2026', noGames: 'Keine Spiele vorhanden.', folderDialog: 'W\u00e4hle im Dialog den Ordner f\u00fcr deine Spiele.',
      logInTitle: 'Zum Spielen anmelden', loginName: 'Benutzername', password: 'Passwort', remember: 'Auf diesem Computer angemeldet bleiben',
      cancel: 'Abbrechen', diagnostics: 'Diagnose', collecting: 'Diagnosedaten werden gesammelt\u2026', close: 'Schlie\u00dfen', ok: 'OK',
      needName: 'Gib Benutzername und Passwort ein.', signedIn: 'Angemeldet als {0}', signedInToken: 'Angemeldet',
      played: '{0}-mal gespielt', playedOnce: 'Einmal gespielt', neverPlayed: 'Noch nicht gespielt',
      website: 'Webseite', options: 'Optionen', pause: 'Anhalten', resume: 'Fortsetzen', update: 'Launcher-Update',
      s0: 'Wird vorbereitet\u2026', s1: 'Nicht zum Download verf\u00fcgbar', s2: 'Nicht installiert', s3: 'Download l\u00e4uft',
      s4: 'Update wird geladen', s5: 'Bereit zur Installation', s6: 'Disc im Laufwerk gefunden', s7: 'Wird installiert\u2026',
      s8: 'Bereit zum Spielen', s9: 'L\u00e4uft', s10: 'Update verf\u00fcgbar', s11: 'Wird aktualisiert', s13: 'Installation wird gepr\u00fcft',
      s14: 'Der Download ist fehlgeschlagen', bDownload: 'Herunterladen', bRetry: 'Erneut laden', bInstall: 'Installieren',
      bDisc: 'Von Disc installieren', bPlay: 'Spielen', bPatch: 'Aktualisieren', bWait: 'Bitte warten', bRunning: 'L\u00e4uft',
      updateDownload: 'Update laden', page: '{0} / {1}'
    },
    es: {
      allGames: 'Todos los juegos', community: 'Comunidad', refresh: 'Actualizar', logIn: 'Iniciar sesi\u00f3n', logOut: 'Cerrar sesi\u00f3n',
      loading: 'Cargando la lista de juegos\u2026', noGames: 'No hay juegos.', folderDialog: 'Elige la carpeta para tus juegos en el cuadro de di\u00e1logo.',
      logInTitle: 'Inicia sesi\u00f3n para jugar', loginName: 'Usuario', password: 'Contrase\u00f1a', remember: 'Recordarme en este equipo',
      cancel: 'Cancelar', diagnostics: 'Diagn\u00f3stico', collecting: 'Recopilando la informaci\u00f3n de diagn\u00f3stico\u2026', close: 'Cerrar', ok: 'Aceptar',
      needName: 'Escribe tu usuario y tu contrase\u00f1a.', signedIn: 'Sesi\u00f3n de {0}', signedInToken: 'Sesi\u00f3n iniciada',
      played: 'Jugado {0} veces', playedOnce: 'Jugado una vez', neverPlayed: 'A\u00fan sin jugar',
      website: 'Sitio web', options: 'Opciones', pause: 'Pausar', resume: 'Reanudar', update: 'Actualizaci\u00f3n del lanzador',
      s0: 'Preparando\u2026', s1: 'No disponible para descargar', s2: 'No instalado', s3: 'Descargando',
      s4: 'Descargando la actualizaci\u00f3n', s5: 'Listo para instalar', s6: 'Disco encontrado en la unidad', s7: 'Instalando\u2026',
      s8: 'Listo para jugar', s9: 'Jugando', s10: 'Actualizaci\u00f3n disponible', s11: 'Actualizando', s13: 'Comprobando la instalaci\u00f3n',
      s14: 'La descarga ha fallado', bDownload: 'Descargar', bRetry: 'Reintentar', bInstall: 'Instalar',
      bDisc: 'Instalar desde el disco', bPlay: 'Jugar', bPatch: 'Actualizar', bWait: 'Espera', bRunning: 'En marcha',
      updateDownload: 'Descargar', page: '{0} / {1}'
    },
    pt: {
      allGames: 'Todos os jogos', community: 'Comunidade', refresh: 'Atualizar', logIn: 'Entrar', logOut: 'Sair',
      loading: 'Carregando a lista de jogos\u2026', noGames: 'Nenhum jogo para mostrar.', folderDialog: 'Escolha a pasta para os seus jogos na janela.',
      logInTitle: 'Entre para jogar', loginName: 'Usu\u00e1rio', password: 'Senha', remember: 'Lembrar de mim neste computador',
      cancel: 'Cancelar', diagnostics: 'Diagn\u00f3stico', collecting: 'Coletando as informa\u00e7\u00f5es de diagn\u00f3stico\u2026', close: 'Fechar', ok: 'OK',
      needName: 'Digite o seu usu\u00e1rio e a sua senha.', signedIn: 'Conectado como {0}', signedInToken: 'Conectado',
      played: 'Jogado {0} vezes', playedOnce: 'Jogado uma vez', neverPlayed: 'Ainda n\u00e3o jogado',
      website: 'Site', options: 'Op\u00e7\u00f5es', pause: 'Pausar', resume: 'Continuar', update: 'Atualiza\u00e7\u00e3o do lan\u00e7ador',
      s0: 'Preparando\u2026', s1: 'Indispon\u00edvel para download', s2: 'N\u00e3o instalado', s3: 'Baixando',
      s4: 'Baixando a atualiza\u00e7\u00e3o', s5: 'Pronto para instalar', s6: 'Disco encontrado na unidade', s7: 'Instalando\u2026',
      s8: 'Pronto para jogar', s9: 'Jogando', s10: 'Atualiza\u00e7\u00e3o dispon\u00edvel', s11: 'Atualizando', s13: 'Verificando a instala\u00e7\u00e3o',
      s14: 'O download falhou', bDownload: 'Baixar', bRetry: 'Tentar de novo', bInstall: 'Instalar',
      bDisc: 'Instalar do disco', bPlay: 'Jogar', bPatch: 'Atualizar', bWait: 'Aguarde', bRunning: 'Em execu\u00e7\u00e3o',
      updateDownload: 'Baixar', page: '{0} / {1}'
    },
    tr: {
      allGames: 'T\u00fcm oyunlar', community: 'Topluluk', refresh: 'Yenile', logIn: 'Giri\u015f yap', logOut: '\u00c7\u0131k\u0131\u015f yap',
      loading: 'Oyun listesi y\u00fckleniyor\u2026', noGames: 'G\u00f6sterilecek oyun yok.', folderDialog: 'Oyunlar\u0131n\u0131z i\u00e7in klas\u00f6r\u00fc pencerede se\u00e7in.',
      logInTitle: 'Oynamak i\u00e7in giri\u015f yap\u0131n', loginName: 'Kullan\u0131c\u0131 ad\u0131', password: '\u015eifre', remember: 'Bu bilgisayarda beni hat\u0131rla',
      cancel: '\u0130ptal', diagnostics: 'Tan\u0131lama', collecting: 'Tan\u0131lama bilgileri toplan\u0131yor\u2026', close: 'Kapat', ok: 'Tamam',
      needName: 'Kullan\u0131c\u0131 ad\u0131n\u0131z\u0131 ve \u015fifrenizi girin.', signedIn: '{0} olarak giri\u015f yap\u0131ld\u0131', signedInToken: 'Giri\u015f yap\u0131ld\u0131',
      played: '{0} kez oynand\u0131', playedOnce: 'Bir kez oynand\u0131', neverPlayed: 'Hen\u00fcz oynanmad\u0131',
      website: 'Web sitesi', options: 'Ayarlar', pause: 'Duraklat', resume: 'Devam et', update: 'Ba\u015flat\u0131c\u0131 g\u00fcncellemesi',
      s0: 'Haz\u0131rlan\u0131yor\u2026', s1: '\u0130ndirilemez', s2: 'Kurulu de\u011fil', s3: '\u0130ndiriliyor',
      s4: 'G\u00fcncelleme indiriliyor', s5: 'Kuruluma haz\u0131r', s6: 'S\u00fcr\u00fcc\u00fcde disk bulundu', s7: 'Kuruluyor\u2026',
      s8: 'Oynamaya haz\u0131r', s9: 'Oynan\u0131yor', s10: 'G\u00fcncelleme var', s11: 'G\u00fcncelleniyor', s13: 'Kurulum denetleniyor',
      s14: '\u0130ndirme ba\u015far\u0131s\u0131z oldu', bDownload: '\u0130ndir', bRetry: 'Yeniden dene', bInstall: 'Kur',
      bDisc: 'Diskten kur', bPlay: 'Oyna', bPatch: 'G\u00fcncelle', bWait: 'L\u00fctfen bekleyin', bRunning: '\u00c7al\u0131\u015f\u0131yor',
      updateDownload: '\u0130ndir', page: '{0} / {1}'
    }
  };

  var PER_PAGE = 6;
  var PROGRESS_STATES = { 3: true, 4: true, 11: true, 13: true };
  // The launcher's paused progress texts, in its five languages. No call says
  // "paused": after a reload the page learns it from such a progress.
  var PAUSED_STATUS = /\((Paused|Durdu|angehalten|Pausado)\)$/;
  // The tile's main button in each state: the page function it calls and its label.
  var MAIN_BUTTON = {
    2: { call: 'download', label: 'bDownload' },
    14: { call: 'download', label: 'bRetry' },
    5: { call: 'install', label: 'bInstall' },
    6: { call: 'installFromDisc', label: 'bDisc' },
    8: { call: 'play', label: 'bPlay' },
    10: { call: 'patch', label: 'bPatch' }
  };
  // States in which clickGameButton presses the main button (a start from a browser plug-in).
  var CLICKABLE = { 2: true, 14: true, 5: true, 6: true, 8: true };
  var BUSY_LABEL = { 0: 'bWait', 3: 'bWait', 4: 'bWait', 7: 'bWait', 9: 'bRunning', 11: 'bWait', 13: 'bWait' };

  function queryValue(name) {
    var match = new RegExp('[?&]' + name + '=([^&#]*)').exec(window.location.search || '');
    if (!match) return '';
    try { return decodeURIComponent(match[1].replace(/\+/g, ' ')); } catch (e) { return match[1]; }
  }

  function format(text) {
    var args = arguments;
    return String(text).replace(/\{(\d)\}/g, function (all, n) { return String(args[Number(n) + 1]); });
  }

  function asNumber(value) {
    var n = Number(value);
    return isFinite(n) ? n : 0;
  }

  function asText(value) {
    return value === undefined || value === null ? '' : String(value);
  }

  // The launcher's functions; outside the launcher (an ordinary browser) there are none.
  function program(name) {
    var bridge = window.brq_interface;
    if (!bridge || typeof bridge[name] !== 'function') return;
    try { bridge[name].apply(bridge, Array.prototype.slice.call(arguments, 1)); } catch (e) { /* nothing comes back */ }
  }

  function randomHex(bytes) {
    var out = '';
    var c = window.crypto;
    if (c && c.getRandomValues) {
      var a = new Uint8Array(bytes);
      c.getRandomValues(a);
      for (var i = 0; i < a.length; i++) out += (a[i] < 16 ? '0' : '') + a[i].toString(16);
      return out;
    }
    for (var j = 0; j < bytes; j++) out += Math.floor(Math.random() * 256).toString(16);
    return out;
  }

  function Page(root) {
    this.root = root;
    this.lang = TEXTS[queryValue('lang')] ? queryValue('lang') : 'en';
    this.texts = TEXTS[this.lang];
    this.tiles = [];          // in the order the launcher added them
    this.byId = {};           // the same tiles by String(id)
    this.hidden = 0;          // how many of them are in state 12
    this.selected = null;     // game id of the selected tile
    this.pageIndex = 0;
    this.token = '';
    this.loginName = '';
    this.urls = { allGames: '', game: '' };
    this.messages = [];
    this.afterLogin = null;
    this.tracked = [];
    this.debug = false;
    this.found = {};
    this.setup();
  }

  Page.prototype.t = function (key) {
    var v = this.texts[key];
    return v === undefined ? TEXTS.en[key] || key : v;
  };

  // The page's own elements (never a tile's), each looked up once: a search of
  // the page passes every tile of a large catalogue.
  Page.prototype.find = function (selector) {
    if (!Object.prototype.hasOwnProperty.call(this.found, selector)) this.found[selector] = this.root.find(selector);
    return this.found[selector];
  };

  Page.prototype.setup = function () {
    var self = this;
    var root = this.root;
    $('html').attr('lang', this.lang);
    if (queryValue('skin') === '1') root.addClass('brq-skin-alt');
    root.find('[data-text]').each(function () {
      $(this).text(self.t($(this).attr('data-text')));
    });
    var build = queryValue('brqVersion');
    this.find('.brq-build').text(build ? 'Quor ' + build : '');
    this.find('.brq-logout').hide();

    root.on('click', '.brq-main', function () {
      self.pressMain(self.tileOf(this));
    });
    root.on('click', '.brq-website', function () {
      var tile = self.tileOf(this);
      if (tile) program('preview', tile.name);
    });
    root.on('click', '.brq-options', function () {
      var tile = self.tileOf(this);
      if (tile) program('launchOptions', tile.name);
    });
    root.on('click', '.brq-pause', function () {
      var tile = self.tileOf(this);
      if (!tile) return;
      if (tile.paused) {
        program('unpause', tile.name);
      } else {
        program('pause', tile.name);
      }
      tile.paused = !tile.paused;
      self.drawPause(tile);
    });
    root.on('click', '.brq-cancel', function () {
      var tile = self.tileOf(this);
      if (tile) program('cancel', tile.name);
    });
    root.on('click', '.brq-tile', function () {
      var tile = self.tileOf(this);
      if (tile) self.select(tile);
    });
    this.find('.brq-all-games').on('click', function () {
      if (!self.urls.allGames) return;
      program('trackEvent', 'StartPage', 'OnAllGamesClick', self.urls.allGames);
      program('showBrowser', self.urls.allGames);
    });
    this.find('.brq-game-page').on('click', function () {
      if (!self.urls.game) return;
      program('trackEvent', 'StartPage', 'OnCommunityClick', self.urls.game);
      program('showBrowser', self.urls.game);
    });
    this.find('.brq-refresh').on('click', function () {
      program('refreshInterface');
    });
    this.find('.brq-prev').on('click', function () { self.showPage(self.pageIndex - 1); });
    this.find('.brq-next').on('click', function () { self.showPage(self.pageIndex + 1); });
    this.find('.brq-login-open').on('click', function () { self.openLogin(null); });
    this.find('.brq-logout').on('click', function () { self.logOut(); });
    this.find('.brq-login-cancel').on('click', function () { self.closeLogin(); });
    this.find('.brq-login-form').on('submit', function (e) {
      e.preventDefault();
      self.submitLogin();
    });
    this.find('.brq-message-ok').on('click', function () { self.nextMessage(); });
    this.find('.brq-diagnostics-close').on('click', function () {
      self.find('.brq-diagnostics').removeClass('brq-open');
    });
    this.draw();
  };

  Page.prototype.tileOf = function (element) {
    var id = $(element).closest('.brq-tile').attr('data-game-id');
    return id === undefined ? null : this.tileById(id);
  };

  Page.prototype.tileById = function (id) {
    var key = String(asNumber(id));
    return Object.prototype.hasOwnProperty.call(this.byId, key) ? this.byId[key] : null;
  };

  Page.prototype.visibleTiles = function () {
    var out = [];
    for (var i = 0; i < this.tiles.length; i++) {
      if (this.tiles[i].state !== 12) out.push(this.tiles[i]);
    }
    return out;
  };

  // --- tiles ---

  Page.prototype.buildTile = function (tile) {
    var self = this;
    var el = $('<div class="brq-tile"></div>').attr('data-game-id', String(tile.id));
    var banner = $('<div class="brq-banner"></div>');
    var fallback = $('<div class="brq-banner-title"></div>').text(tile.isUpdate ? this.t('update') : tile.name);
    banner.append(fallback);
    if (!tile.isUpdate && tile.banner) {
      var img = $('<img class="brq-banner-image" alt="">');
      img.on('error', function () { $(this).remove(); banner.removeClass('brq-has-image'); });
      img.on('load', function () { banner.addClass('brq-has-image'); });
      img.attr('src', tile.banner);
      banner.append(img);
    }
    el.append(banner);

    var info = $('<div class="brq-info"></div>');
    var title = $('<div class="brq-title"></div>');
    if (tile.icon) {
      var icon = $('<img class="brq-icon" alt="">');
      icon.on('error', function () { $(this).remove(); });
      icon.attr('src', tile.icon);
      title.append(icon);
    }
    title.append($('<span class="brq-name"></span>').text(tile.isUpdate ? this.t('update') : tile.name));
    if (tile.requireLogin) title.append($('<span class="brq-lock"></span>').text(this.t('logIn')));
    info.append(title);
    info.append($('<div class="brq-meta"></div>').append($('<span class="brq-status"></span>'), $('<span class="brq-played"></span>')));
    el.append(info);

    var actions = $('<div class="brq-actions"></div>');
    actions.append($('<button type="button" class="brq-button brq-main"></button>'));
    if (!tile.isUpdate) {
      actions.append($('<button type="button" class="brq-link brq-website"></button>').text(this.t('website')));
      actions.append($('<button type="button" class="brq-link brq-options"></button>').text(this.t('options')));
    }
    el.append(actions);

    var progress = $('<div class="brq-progress"></div>');
    progress.append($('<div class="brq-bar"><div class="brq-fill"></div></div>'));
    progress.append($('<div class="brq-progress-text"></div>'));
    progress.append($('<div class="brq-progress-record"></div>'));
    progress.append($('<div class="brq-progress-buttons"></div>'));
    el.append(progress);
    tile.el = el;
    self.drawTile(tile);
    return el;
  };

  Page.prototype.drawTile = function (tile) {
    var el = tile.el;
    var state = tile.state;
    el.attr('data-state', String(state));
    el.toggleClass('brq-update', tile.isUpdate);
    el.toggleClass('brq-selected', this.selected !== null && String(this.selected) === String(tile.id));
    var played = tile.timesPlayed;
    el.find('.brq-played').text(tile.isUpdate ? '' : played <= 0 ? this.t('neverPlayed') :
      played === 1 ? this.t('playedOnce') : format(this.t('played'), played));
    el.find('.brq-status').text(this.t('s' + state));
    var main = el.find('.brq-main');
    var action = MAIN_BUTTON[state];
    if (action) {
      main.text(tile.isUpdate && action.call === 'download' ? this.t('updateDownload') : this.t(action.label))
        .prop('disabled', false).attr('data-call', action.call).show();
    } else if (BUSY_LABEL[state] && !PROGRESS_STATES[state]) {
      main.text(this.t(BUSY_LABEL[state])).prop('disabled', true).removeAttr('data-call').show();
    } else {
      main.removeAttr('data-call').hide();
    }
    el.find('.brq-options').toggle(state === 8);
    el.find('.brq-progress').toggle(tile.progress);
    el.find('.brq-actions').toggle(!tile.progress);
  };

  Page.prototype.drawPause = function (tile) {
    tile.el.find('.brq-pause').text(tile.paused ? this.t('resume') : this.t('pause'))
      .toggleClass('brq-paused', tile.paused);
  };

  Page.prototype.pressMain = function (tile) {
    if (!tile) return;
    var action = MAIN_BUTTON[tile.state];
    if (!action) return;
    this.select(tile);
    if (action.call === 'play') {
      this.play(tile);
      return;
    }
    program(action.call, tile.name);
  };

  Page.prototype.play = function (tile) {
    var self = this;
    if (tile.requireLogin && !this.token) {
      this.openLogin(function () { self.play(tile); });
      return;
    }
    if (this.token) program('setAuthToken', tile.name, this.token);
    program('play', tile.name);
  };

  Page.prototype.select = function (tile) {
    this.selected = tile.id;
    var list = this.visibleTiles();
    var at = list.indexOf(tile);
    if (at >= 0) this.pageIndex = Math.floor(at / PER_PAGE);
    this.draw();
  };

  Page.prototype.showPage = function (index) {
    var pages = this.pageCount();
    this.pageIndex = Math.min(Math.max(0, index), pages - 1);
    this.draw();
  };

  // Lays the visible tiles out: one page of them in the grid, the pager when more.
  // A catalogue may hold tens of thousands of games: one pass, and the DOM is
  // touched only where a tile changes.
  Page.prototype.draw = function () {
    var grid = this.find('.brq-grid')[0];
    var pages = this.pageCount();
    if (this.pageIndex >= pages) this.pageIndex = pages - 1;
    var first = this.pageIndex * PER_PAGE;
    var at = 0;
    for (var i = 0; i < this.tiles.length; i++) {
      var tile = this.tiles[i];
      var shown = false;
      if (tile.state !== 12) {
        shown = at >= first && at < first + PER_PAGE;
        at++;
      }
      this.placeTile(tile, shown, grid);
    }
    this.drawPager(pages);
  };

  Page.prototype.pageCount = function () {
    return Math.max(1, Math.ceil((this.tiles.length - this.hidden) / PER_PAGE));
  };

  Page.prototype.placeTile = function (tile, shown, grid) {
    var node = tile.el[0];
    var selected = this.selected !== null && String(this.selected) === String(tile.id);
    if (node.classList.contains('brq-hidden') === shown) node.classList.toggle('brq-hidden', !shown);
    if (node.classList.contains('brq-selected') !== selected) node.classList.toggle('brq-selected', selected);
    if (node.parentNode !== grid) grid.appendChild(node);
  };

  Page.prototype.drawPager = function (pages) {
    var visible = this.tiles.length - this.hidden;
    this.find('.brq-empty').toggle(visible === 0).text(this.tiles.length || this.loaded ? this.t('noGames') : this.t('loading'));
    this.find('.brq-pager').toggleClass('brq-open', pages > 1);
    this.find('.brq-page-number').text(format(this.t('page'), this.pageIndex + 1, pages));
    this.find('.brq-prev').prop('disabled', this.pageIndex === 0);
    this.find('.brq-next').prop('disabled', this.pageIndex >= pages - 1);
  };

  // --- overlays ---

  // A chosen folder is not followed by a close call: the next news about a game ends the overlay.
  Page.prototype.closeFolderDialog = function () {
    this.find('.brq-folder-dialog').removeClass('brq-open');
  };

  Page.prototype.showNextMessage = function () {
    var box = this.find('.brq-message');
    if (!this.messages.length) {
      box.removeClass('brq-open');
      return;
    }
    this.find('.brq-message-text').text(this.messages[0]);
    box.addClass('brq-open');
  };

  Page.prototype.nextMessage = function () {
    this.messages.shift();
    this.showNextMessage();
  };

  Page.prototype.openLogin = function (then) {
    this.afterLogin = then || null;
    this.find('.brq-login-error').text('');
    this.find('.brq-login').addClass('brq-open');
    var name = this.find('.brq-login-name');
    if (name.val()) this.find('.brq-password').trigger('focus'); else name.trigger('focus');
  };

  Page.prototype.closeLogin = function () {
    this.afterLogin = null;
    this.find('.brq-login').removeClass('brq-open');
  };

  // The demo service keeps no accounts: a login makes a session token here, which the
  // launcher hands to the game.
  Page.prototype.submitLogin = function () {
    var name = $.trim(this.find('.brq-login-name').val() || '');
    var password = this.find('.brq-password').val() || '';
    if (!name || !password) {
      this.find('.brq-login-error').text(this.t('needName'));
      return;
    }
    var remember = this.find('.brq-remember').prop('checked');
    var token = 'brq-' + randomHex(16);
    if (remember) {
      program('saveLogin', name, password);
      program('saveAuthToken', token);
    } else {
      program('clearLogin');
      program('clearAuthToken');
    }
    program('trackEvent', 'StartPage', 'OnLogin', name);
    this.loginName = name;
    this.useToken(token);
    var then = this.afterLogin;
    this.afterLogin = null;
    this.find('.brq-login').removeClass('brq-open');
    if (then) then();
  };

  Page.prototype.logOut = function () {
    program('clearAuthToken');
    program('trackEvent', 'StartPage', 'OnLogout', this.loginName);
    this.useToken('');
  };

  Page.prototype.useToken = function (token) {
    this.token = token;
    for (var i = 0; i < this.tiles.length; i++) {
      if (!this.tiles[i].isUpdate) program('setAuthToken', this.tiles[i].name, token);
    }
    this.drawAccount();
  };

  Page.prototype.drawAccount = function () {
    var signedIn = !!this.token;
    this.find('.brq-user').text(signedIn ? (this.loginName ? format(this.t('signedIn'), this.loginName) : this.t('signedInToken')) : '');
    this.find('.brq-login-open').toggle(!signedIn);
    this.find('.brq-logout').toggle(signedIn);
  };

  Page.prototype.noteTracked = function (text) {
    this.tracked.push(text);
    if (this.tracked.length > 50) this.tracked.shift();
    if (this.debug) this.find('.brq-debug').text(this.tracked.slice(-3).join('  |  '));
  };

  // --- the launcher's calls ---

  var methods = {
    checkForValidSession: function () {
      // The demo session never runs out; the check only notes its time.
      this.root.attr('data-session-checked', String(Date.now()));
    },

    clearGamePanels: function () {
      this.find('.brq-grid').empty();
      this.tiles = [];
      this.byId = {};
      this.hidden = 0;
      this.selected = null;
      this.pageIndex = 0;
      this.loaded = true;
      this.draw();
    },

    updateProgress: function (id, status, done, total, speed, record) {
      this.closeFolderDialog();
      var tile = this.tileById(id);
      if (!tile) return;
      var d = asNumber(done), t = asNumber(total);
      var fraction = t > 0 ? Math.min(1, Math.max(0, d / t)) : 0;
      if (!tile.progress) {
        tile.progress = true;
        this.drawTile(tile);
      }
      var bar = tile.el.find('.brq-progress');
      bar.find('.brq-fill').css('width', (fraction * 100).toFixed(1) + '%');
      bar.attr('data-fraction', fraction.toFixed(3));
      bar.attr('data-speed', String(asNumber(speed)));
      bar.find('.brq-progress-text').text(asText(status));
      bar.find('.brq-progress-record').text(asText(record));
      // Only a paused progress sets the flag; a click or startProgress clears it.
      if (!tile.paused && PAUSED_STATUS.test(asText(status))) {
        tile.paused = true;
        this.drawPause(tile);
      }
    },

    addCancelToProgress: function (id) {
      var tile = this.tileById(id);
      if (!tile || tile.isUpdate) return;
      var box = tile.el.find('.brq-progress-buttons');
      if (!box.find('.brq-cancel').length) {
        box.append($('<button type="button" class="brq-button brq-small brq-secondary brq-cancel"></button>').text(this.t('cancel')));
      }
    },

    addPauseToProgress: function (id) {
      var tile = this.tileById(id);
      if (!tile || tile.isUpdate) return;
      var box = tile.el.find('.brq-progress-buttons');
      if (!box.find('.brq-pause').length) {
        box.prepend($('<button type="button" class="brq-button brq-small brq-pause"></button>'));
      }
      this.drawPause(tile);
    },

    startProgress: function (id) {
      this.closeFolderDialog();
      var tile = this.tileById(id);
      if (!tile) return;
      tile.progress = true;
      tile.paused = false;
      var bar = tile.el.find('.brq-progress');
      bar.find('.brq-progress-buttons').empty();
      bar.find('.brq-fill').css('width', '0%');
      bar.attr('data-fraction', '0.000');
      bar.find('.brq-progress-text').text('');
      bar.find('.brq-progress-record').text('');
      this.drawTile(tile);
    },

    setGamePanelState: function (id, state) {
      this.closeFolderDialog();
      var tile = this.tileById(id);
      if (!tile) return;
      var n = parseInt(asText(state), 10);
      if (!(n >= 0 && n <= 14)) return;
      var hiddenBefore = tile.state === 12;
      tile.state = n;
      if (!PROGRESS_STATES[n]) {
        tile.progress = false;
        tile.paused = false;
        tile.el.find('.brq-progress-buttons').empty();
      }
      this.drawTile(tile);
      // Only a tile that is hidden (state 12) or shown again moves the others.
      if ((n === 12) !== hiddenBefore) {
        this.hidden += hiddenBefore ? -1 : 1;
        this.draw();
      }
    },

    clickPanel: function (id) {
      var tile = this.tileById(id);
      if (tile) this.select(tile);
    },

    clickGameButton: function (id) {
      var tile = this.tileById(id);
      if (tile && CLICKABLE[tile.state]) this.pressMain(tile);
    },

    setAllGamesUrl: function (address) {
      this.urls.allGames = asText(address);
      this.find('.brq-all-games').prop('disabled', !this.urls.allGames);
    },

    setGameUrl: function (address) {
      this.urls.game = asText(address);
      this.find('.brq-game-page').prop('disabled', !this.urls.game);
    },

    addGamePanel: function (name, banner, homePage, flag, id, loginRequired, timesPlayed, icon) {
      var old = this.tileById(id);
      if (old) {
        old.el.remove();
        this.tiles.splice(this.tiles.indexOf(old), 1);
        if (old.state === 12) this.hidden--;
      }
      var tile = {
        id: asNumber(id),
        name: asText(name),
        banner: asText(banner),
        homePage: asText(homePage),
        flag: !!asNumber(flag),
        requireLogin: !!asNumber(loginRequired),
        timesPlayed: asNumber(timesPlayed),
        icon: asText(icon),
        isUpdate: asText(banner) === '~autoupdate~',
        state: 0,
        progress: false,
        paused: false
      };
      this.tiles.push(tile);
      this.byId[String(tile.id)] = tile;
      this.loaded = true;
      this.buildTile(tile);
      var grid = this.find('.brq-grid')[0];
      grid.appendChild(tile.el[0]);
      if (this.token && !tile.isUpdate) program('setAuthToken', tile.name, this.token);
      if (old) {
        this.draw();
        return;
      }
      // Added at the end, and shown (state 0): the other tiles stay where they are.
      var at = this.tiles.length - 1 - this.hidden;
      var first = this.pageIndex * PER_PAGE;
      this.placeTile(tile, at >= first && at < first + PER_PAGE, grid);
      this.drawPager(this.pageCount());
    },

    trackEvent: function (category, action, label, value) {
      // The launcher has already reported it; the page only keeps it for the debug view.
      this.noteTracked('event ' + [asText(category), asText(action), asText(label), asNumber(value)].join(' / '));
    },

    setUniqueId: function (serial) {
      this.uniqueId = asText(serial);
      this.find('.brq-unique-id').text(this.uniqueId ? 'ID ' + this.uniqueId.slice(0, 12) : '').attr('title', this.uniqueId);
    },

    enableDebugMode: function () {
      this.debug = true;
      this.root.addClass('brq-debugging');
      this.find('.brq-debug').text(this.tracked.slice(-3).join('  |  '));
    },

    trackPageView: function (first, second) {
      this.noteTracked('page view ' + asText(first) + ' / ' + asText(second));
    },

    setManifestVersion: function (version) {
      this.find('.brq-manifest-version').text(asText(version) ? 'Catalogue ' + asText(version) : '');
    },

    onFileDialogClose: function () {
      this.closeFolderDialog();
    },

    setSavedLogin: function (password, loginName) {
      this.loginName = asText(loginName);
      this.find('.brq-login-name').val(this.loginName);
      this.find('.brq-password').val(asText(password));
      this.find('.brq-remember').prop('checked', true);
      this.drawAccount();
    },

    setAuthToken: function (token) {
      this.token = asText(token);
      this.drawAccount();
    },

    onFileDialogOpen: function () {
      this.find('.brq-folder-dialog').addClass('brq-open');
    },

    showMessage: function (text) {
      this.closeFolderDialog();
      this.messages.push(asText(text));
      if (this.messages.length === 1) this.showNextMessage();
    },

    displayDiagnostics: function (report) {
      var view = this.find('.brq-diagnostics');
      var text = asText(report);
      // The launcher separates the report's lines with "<br>"; every piece is
      // shown as a line of plain text, so no name in it can become markup.
      var lines = view.find('.brq-diagnostics-report').empty();
      if (text !== '') {
        text.split('<br>').forEach(function (piece) {
          lines.append($('<div class="brq-diagnostics-line"></div>').text(piece));
        });
      }
      lines.toggle(text !== '');
      view.find('.brq-diagnostics-wait').toggle(text === '');
      view.addClass('brq-open');
    }
  };

  $.fn.brq = function (method) {
    var args = Array.prototype.slice.call(arguments, 1);
    return this.each(function () {
      var root = $(this);
      var page = root.data('brq');
      if (!page) {
        page = new Page(root);
        root.data('brq', page);
      }
      if (typeof method === 'string' && Object.prototype.hasOwnProperty.call(methods, method)) {
        try {
          methods[method].apply(page, args);
        } catch (e) {
          page.noteTracked('error in ' + method + ': ' + e);
        }
      }
    });
  };

  $.fn.brq.methods = Object.keys(methods);

  $('#main-content').brq();
})(window.jQuery);
