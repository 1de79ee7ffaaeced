// The kitchen's keypad: puts numbers up, takes them down and clears the board through the API,
// asking for the PIN only when the board answers that one is needed.
'use strict';
(function () {
  const entry = document.getElementById('entry');
  const message = document.getElementById('message');
  const shownList = document.getElementById('shown');
  const pinForm = document.getElementById('pin-form');
  const pinInput = document.getElementById('pin');
  const kPinKey = 'pelivor-pin';
  const kGone = window.pelivorLink.gone;
  // A request queued behind other tabs' connections, or sent to a frozen board, is given up.
  const kRequestMs = 5000;
  let pending = null;  // the change waiting for a PIN

  function say(text) {
    message.textContent = text;
  }

  function send(method, path, body) {
    const headers = {};
    const pin = sessionStorage.getItem(kPinKey);
    if (pin) {
      headers['Authorization'] = 'Bearer ' + pin;
    }
    if (body !== undefined) {
      headers['Content-Type'] = 'application/json';
    }
    const abort = new AbortController();
    const options = { method: method, headers: headers, signal: abort.signal };
    if (body !== undefined) {
      options.body = JSON.stringify(body);
    }
    const timeout = setTimeout(function () { abort.abort(); }, kRequestMs);
    return fetch(path, options).then(function (response) {
      clearTimeout(timeout);
      if (response.status === 401) {
        say(pin ? 'Błędny PIN.' : 'Podaj PIN obsługi.');
        sessionStorage.removeItem(kPinKey);
        pinForm.hidden = false;
        pinInput.value = '';
        pinInput.focus();
        // The change settles when it is sent again with a PIN, so the keypad then clears its
        // entry as after any number put up.
        return new Promise(function (resolve) {
          pending = function () { return send(method, path, body).then(resolve); };
        });
      }
      if (response.status === 429) {
        sessionStorage.removeItem(kPinKey);
        say('Za dużo błędnych prób PIN-u. Spróbuj ponownie za minutę.');
        return false;
      }
      if (response.status === 400) {
        say('To nie jest numer.');
        return false;
      }
      if (!response.ok) {
        say('Tablica odpowiedziała błędem ' + response.status + '.');
        return false;
      }
      say('');
      pinForm.hidden = true;
      return true;
    }, function () {
      clearTimeout(timeout);
      say(kGone);
      return false;
    });
  }

  pinForm.addEventListener('submit', function (event) {
    event.preventDefault();
    sessionStorage.setItem(kPinKey, pinInput.value.trim());
    pinForm.hidden = true;
    if (pending !== null) {
      const retry = pending;
      pending = null;
      retry();
    }
  });

  // While the PIN is asked the keypad is the PIN's: on a phone its own field brings up no keys.
  function type(digit) {
    if (!pinForm.hidden) {
      if (pinInput.value.length < pinInput.maxLength) {
        pinInput.value += digit;
      }
    } else if (entry.textContent.length < 9) {
      entry.textContent += digit;
    }
  }

  function erase() {
    if (!pinForm.hidden) {
      pinInput.value = pinInput.value.slice(0, -1);
    } else {
      entry.textContent = entry.textContent.slice(0, -1);
    }
  }

  // "Gotowe" puts the number up as ready; "Przyjęte", with two zones, as being prepared.
  function put(state) {
    if (!pinForm.hidden) {
      pinForm.requestSubmit();
      return;
    }
    const number = entry.textContent;
    if (number === '') {
      return;
    }
    const body = state === 'preparing' ? { number: number, state: state } : number;
    send('POST', '/api/numbers', body).then(function (done) {
      if (done) {
        entry.textContent = '';
      }
    });
  }

  function ready() {
    put('ready');
  }

  document.querySelectorAll('#keys button[data-key]').forEach(function (key) {
    key.addEventListener('click', function () { type(key.dataset.key); });
  });
  document.getElementById('erase').addEventListener('click', erase);
  document.getElementById('ready').addEventListener('click', ready);

  // A keyboard's keys work the keypad; in the PIN's own field they stay the field's, and Enter on
  // another control ("Usuń", say) still presses that one.
  const keypad = document.getElementById('keys');
  document.addEventListener('keydown', function (event) {
    if (event.target === pinInput || event.ctrlKey || event.altKey || event.metaKey) {
      return;
    }
    if (/^[0-9]$/.test(event.key)) {
      type(event.key);
    } else if (event.key === 'Backspace') {
      erase();
    } else if (event.key === 'Enter' &&
               (event.target === document.body || keypad.contains(event.target))) {
      ready();
    } else {
      return;
    }
    // Also keeps Enter from pressing the button last clicked.
    event.preventDefault();
  });
  document.getElementById('clear').addEventListener('click', function () {
    if (window.confirm('Wyczyścić tablicę?')) {
      send('DELETE', '/api/numbers');
    }
  });

  // The kitchen's flow, made the first time the board shows two zones, so a board without them
  // has a page without them.
  let flow = null;
  function zoned() {
    if (flow !== null) {
      return flow;
    }
    const make = function (tag, id, text) {
      const element = document.createElement(tag);
      element.id = id;
      element.textContent = text;
      if (tag === 'button') {
        element.type = 'button';
      }
      return element;
    };
    flow = {
      prepare: make('button', 'prepare', 'Przyjęte'),
      preparingTitle: make('h2', 'preparing-title', 'W przygotowaniu'),
      preparing: make('ul', 'preparing', ''),
      readyTitle: make('h2', 'ready-title', 'Gotowe do odbioru'),
      undo: make('button', 'undo', 'Cofnij'),
    };
    flow.prepare.addEventListener('click', function () { put('preparing'); });
    flow.undo.addEventListener('click', function () { send('POST', '/api/undo'); });
    keypad.append(flow.prepare);
    shownList.before(flow.preparingTitle, flow.preparing, flow.readyTitle);
    shownList.after(flow.undo);
    return flow;
  }

  function item(text, action, press) {
    const line = document.createElement('li');
    const label = document.createElement('span');
    label.textContent = text;
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = action;
    button.addEventListener('click', press);
    line.append(label, button);
    return line;
  }

  // Newest first, as the kitchen looks for the one just put up; the highlighted one in the board's
  // swapped colours. A number being prepared is one tap from ready.
  function show(state) {
    const zones = state.zones === true;
    if (zones || flow !== null) {
      const parts = zoned();
      Object.keys(parts).forEach(function (name) { parts[name].hidden = !zones; });
      const preparing = zones ? state.preparing.map(function (number, k) {
        return item(state.preparing_shown[k], 'Gotowe', function () {
          send('POST', '/api/numbers', number);
        });
      }) : [];
      parts.preparing.replaceChildren.apply(parts.preparing, preparing.reverse());
    }
    const items = state.numbers.map(function (number, k) {
      const item = document.createElement('li');
      const label = document.createElement('span');
      label.textContent = state.shown[k];
      if (k === state.highlighted) {
        item.className = 'highlighted';
        label.style.color = state.background;
        label.style.background = state.text;
      }
      const remove = document.createElement('button');
      remove.type = 'button';
      remove.textContent = 'Usuń';
      remove.addEventListener('click', function () {
        send('DELETE', '/api/numbers/' + encodeURIComponent(number));
      });
      item.append(label, remove);
      return item;
    });
    shownList.replaceChildren.apply(shownList, items.reverse());
  }

  // A request given up for the board being gone is answered by the board coming back.
  window.pelivorLink.follow(show, function (text) {
    if (text === '' && message.textContent === kGone) {
      say('');
    }
  });
})();
