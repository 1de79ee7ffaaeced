// The board for another screen: drawn from the board's state as the window draws it (cells column
// by column, each number at its cell's top-left, the window's font-height rule), the numbers as
// text elements, updated from the server's event stream. The page's shape is seldom the window's
// (a phone is upright), so its numbers are always fitted to their cells, by the window's rule for
// fitting and in the page's own pixels: a number cut by its neighbour reads as another order.
'use strict';
(function () {
  const list = document.getElementById('board');
  const band = document.getElementById('link');
  const measure = document.createElement('canvas').getContext('2d');
  let state = null;

  function fontHeight(cellHeight) {
    return Math.trunc(Math.trunc(cellHeight * 0.9) * 0.8);
  }

  // The widest of `texts` (the numbers on show unless given) at a height, as the window's fit
  // measures it.
  function widest(height, texts) {
    measure.font = height + 'px monospace';
    let best = { width: 0, characters: 0 };
    for (const text of texts || state.shown) {
      const width = Math.ceil(measure.measureText(text).width);
      if (text.length > 0 && width > best.width) {
        best = { width: width, characters: text.length };
      }
    }
    return best;
  }

  function fits(text, cellWidth) {
    return text.characters <= 0 || 4 * text.characters * (cellWidth - text.width) >= text.width;
  }

  function fitHeight(described, cellWidth, texts) {
    if (described <= 1 || fits(widest(described, texts), cellWidth)) {
      return described;
    }
    let low = 1;
    let high = described;
    while (high - low > 1) {
      const middle = low + Math.trunc((high - low) / 2);
      if (fits(widest(middle, texts), cellWidth)) {
        low = middle;
      } else {
        high = middle;
      }
    }
    return low;
  }

  function cell(text, className, x, y, font, ink, back) {
    const item = document.createElement('li');
    item.textContent = text;
    item.className = className;
    item.style.left = x + 'px';
    item.style.top = y + 'px';
    item.style.fontSize = font + 'px';
    item.style.color = ink;
    item.style.background = back;
    return item;
  }

  // The per-channel average of two "#rrggbb" colours, rounded down, as the window dims.
  function mix(a, b) {
    let out = '#';
    for (let i = 1; i < 7; i += 2) {
      const value = (parseInt(a.substr(i, 2), 16) + parseInt(b.substr(i, 2), 16)) >> 1;
      out += (value < 16 ? '0' : '') + value.toString(16);
    }
    return out;
  }

  // Two zones, in the proportions the board sends with them: the preparing numbers dimmed and
  // smaller on the left third, the ready grid on the right, each below a band with its name, and
  // an overdue number framed.
  function drawZones(width, height) {
    const layout = state.layout;
    const items = [];
    const bandHeight = Math.min(height, Math.max(Math.trunc(height / layout.band), layout.band_min));
    const split = Math.trunc(width / layout.split);
    const zones = [{ x: 0, width: split, title: layout.titles[0] },
                   { x: split, width: width - split, title: layout.titles[1] }];
    let titleFont = fontHeight(bandHeight);
    for (const zone of zones) {
      titleFont = Math.min(titleFont, fitHeight(fontHeight(bandHeight), zone.width, [zone.title]));
    }
    for (const zone of zones) {
      measure.font = titleFont + 'px monospace';
      const inked = Math.ceil(measure.measureText(zone.title).width);
      items.push(cell(zone.title, 'title', zone.x + Math.max(0, Math.trunc((zone.width - inked) / 2)),
                      Math.trunc((bandHeight - titleFont) / 2), titleFont, state.text,
                      state.background));
    }
    const rows = state.rows;
    const columns = state.columns;
    const gridHeight = height - bandHeight;
    const cellHeight = rows > 0 ? Math.trunc(gridHeight / rows) : 0;
    if (columns <= 0 || cellHeight <= 0) {
      return items;
    }
    const dimmed = mix(state.text, state.background);
    const prepWidth = Math.trunc(zones[0].width / columns);
    const readyWidth = Math.trunc(zones[1].width / columns);
    if (prepWidth > 0) {
      const font = fitHeight(Math.trunc(fontHeight(cellHeight) * layout.preparing_font[0] /
                                        layout.preparing_font[1]), prepWidth, state.preparing_shown);
      state.preparing_shown.forEach(function (text, k) {
        items.push(cell(text, 'preparing', Math.trunc(k / rows) * prepWidth,
                        bandHeight + (k % rows) * cellHeight, font, dimmed, state.background));
      });
    }
    if (readyWidth > 0) {
      const frame = Math.min(Math.max(Math.trunc(cellHeight / layout.frame), layout.frame_min),
                             Math.trunc(cellHeight / 2), Math.trunc(readyWidth / 2));
      const font = fitHeight(fontHeight(cellHeight), readyWidth - 2 * frame);
      state.shown.forEach(function (text, k) {
        const x = split + Math.trunc(k / rows) * readyWidth;
        const y = bandHeight + (k % rows) * cellHeight;
        const marked = k === state.highlighted;
        const overdue = !marked && state.overdue.indexOf(k) >= 0;
        if (marked) {
          const item = cell(text, 'highlighted', x, y, font, state.background, state.text);
          item.style.width = readyWidth + 'px';
          item.style.height = cellHeight + 'px';
          item.style.padding = frame + 'px 0 0 ' + frame + 'px';
          item.style.boxSizing = 'border-box';
          items.push(item);
          return;
        }
        const item = cell(text, overdue ? 'overdue' : '', x, y, font, state.text, state.background);
        // Inset as on the window, so a number does not move when its frame comes.
        item.style.boxSizing = 'border-box';
        item.style.width = readyWidth + 'px';
        item.style.height = cellHeight + 'px';
        item.style.padding = frame + 'px 0 0 ' + frame + 'px';
        if (overdue) {
          item.style.boxShadow = 'inset 0 0 0 ' + frame + 'px ' + state.text;
        }
        items.push(item);
      });
    }
    return items;
  }

  function draw() {
    if (state === null) {
      return;
    }
    document.body.style.background = state.background;
    const width = window.innerWidth;
    // The sign has a strip of its own below the cells, so no number is hidden behind it.
    const height = window.innerHeight - (band.hidden ? 0 : band.offsetHeight);
    if (state.zones === true) {
      list.replaceChildren.apply(list, drawZones(width, height));
      return;
    }
    const items = [];
    const rows = state.rows;
    const columns = state.columns;
    const cellWidth = columns > 0 ? Math.trunc(width / columns) : 0;
    const cellHeight = rows > 0 ? Math.trunc(height / rows) : 0;
    if (cellWidth > 0 && cellHeight > 0) {
      const font = fitHeight(fontHeight(cellHeight), cellWidth);
      state.shown.forEach(function (text, k) {
        const item = document.createElement('li');
        item.textContent = text;
        item.style.left = Math.trunc(k / rows) * cellWidth + 'px';
        item.style.top = (k % rows) * cellHeight + 'px';
        item.style.fontSize = font + 'px';
        const marked = k === state.highlighted;
        if (marked) {
          item.className = 'highlighted';
          item.style.width = cellWidth + 'px';
          item.style.height = cellHeight + 'px';
        }
        item.style.color = marked ? state.background : state.text;
        item.style.background = marked ? state.text : state.background;
        items.push(item);
      });
    }
    list.replaceChildren.apply(list, items);
  }

  // A wake lock is granted only to secure pages; where it is refused the screen's own setting
  // has to keep it on.
  function keepAwake() {
    if ('wakeLock' in navigator && document.visibilityState === 'visible') {
      navigator.wakeLock.request('screen').catch(function () {});
    }
  }

  // The board's calls, said on this screen's speaker from the board's own clips. A browser lets a
  // page sound only after a person has touched it, so a sign asks for that, and what was called
  // before it is not said afterwards. As the board's speaker: one phrase at a time, a short pause
  // between, at most kWaiting waiting, and a number gone from the board by its turn is not said.
  const voice = (function () {
    const sign = document.getElementById('sound');
    const kAsk = 'Dotknij, aby włączyć dźwięk';
    const kOn = 'Dźwięk włączony';
    const kWaiting = 3;
    const kPauseMs = 300;
    const kLead = 0.05;  // seconds: the clips' start is scheduled, not run late by the first one
    const kKept = 20;
    const clips = new Map();  // name -> promise of its decoded AudioBuffer
    let on = false;
    let audio = null;
    let heard = -1;  // the newest call taken; -1: take the next board's as heard
    let waiting = [];
    let busy = false;
    let told = '';
    let fade = 0;
    let spoken = [];

    function sounding() {
      return audio !== null && audio.state === 'running';
    }

    function showSign() {
      const text = !on ? '' : sounding() ? kOn : kAsk;
      if (text === told) {
        return;
      }
      told = text;
      clearTimeout(fade);
      sign.classList.remove('faded');
      sign.textContent = text;
      sign.hidden = text === '';
      if (text === kOn) {
        fade = setTimeout(function () {
          sign.classList.add('faded');
          fade = setTimeout(function () { sign.hidden = true; }, 1000);
        }, 4000);
      }
    }

    function clip(name) {
      let buffer = clips.get(name);
      if (buffer === undefined) {
        buffer = fetch('/voice/' + name + '.wav').then(function (answer) {
          if (!answer.ok) {
            throw new Error(name + ': ' + answer.status);
          }
          return answer.arrayBuffer();
        }).then(function (bytes) {
          return audio.decodeAudioData(bytes);
        });
        clips.set(name, buffer);
        buffer.catch(function () { clips.delete(name); });  // asked again next time
      }
      return buffer;
    }

    function standing(call) {
      return on && sounding() && state.numbers.indexOf(call.number) >= 0;
    }

    function next() {
      if (busy || waiting.length === 0) {
        return;
      }
      const call = waiting.shift();
      if (!standing(call)) {
        next();
        return;
      }
      busy = true;
      function done(pause) {
        setTimeout(function () {
          busy = false;
          next();
        }, pause);
      }
      Promise.all(call.clips.map(clip)).then(function (buffers) {
        if (buffers.length === 0 || !standing(call)) {
          done(0);
          return;
        }
        // Back to back on the audio clock, so the words join as one sentence.
        let at = audio.currentTime + kLead;
        let last = null;
        buffers.forEach(function (buffer, k) {
          last = audio.createBufferSource();
          last.buffer = buffer;
          last.connect(audio.destination);
          last.start(at);
          at += buffer.duration;
          spoken.push(call.clips[k]);
        });
        spoken = spoken.slice(-kKept);
        document.documentElement.dataset.spoken = spoken.join(' ');
        last.onended = function () { done(kPauseMs); };
      }, function () { done(0); });
    }

    function unlock() {
      if (!on) {
        return;
      }
      if (audio === null) {
        audio = new AudioContext();
        // A phone may take the sound away again (a call, a locked screen): the sign asks anew.
        audio.onstatechange = showSign;
      }
      audio.resume().then(showSign, function () {});
      showSign();
    }

    return {
      unlock: unlock,
      // The link was lost: the next board's calls are old news.
      lost: function () {
        heard = -1;
        waiting = [];
      },
      board: function (board) {
        on = board.voice === true;
        showSign();
        if (!on) {
          heard = -1;
          waiting = [];
          return;
        }
        let newest = 0;
        for (const call of board.calls) {
          newest = Math.max(newest, call.seq);
        }
        // A first board, or one started again since (its calls count from 1 anew).
        if (heard < 0 || newest < heard) {
          heard = newest;
          return;
        }
        for (const call of board.calls) {
          if (call.seq <= heard) {
            continue;
          }
          heard = call.seq;
          if (sounding() && waiting.length < kWaiting) {
            waiting.push(call);
          }
        }
        next();
      },
    };
  })();

  document.addEventListener('click', voice.unlock);
  document.addEventListener('keydown', voice.unlock);
  document.addEventListener('click', function () {
    if (!document.fullscreenElement && document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(function () {});
    }
    keepAwake();
  });
  document.addEventListener('visibilitychange', keepAwake);
  window.addEventListener('resize', draw);
  keepAwake();
  // The band takes its height from the grid while it shows.
  window.pelivorLink.follow(function (board) {
    state = board;
    draw();
    voice.board(board);
  }, function (text) {
    if (text !== '') {
      voice.lost();
    }
    draw();
  });
})();
