// The board's event stream as both pages follow it, and the band that says whether the board can
// be reached: "Łączenie…" before its first word, the sign on an error or a silence, nothing while
// it speaks. A silent stream may be one the network dropped without a word, so it is opened anew,
// which also finds a board started again meanwhile.
'use strict';
window.pelivorLink = {
  gone: 'Brak połączenia z tablicą',
  // Calls onState with each board the stream sends, onLink with the band's text when it changes.
  follow: function (onState, onLink) {
    const band = document.getElementById('link');
    const gone = this.gone;
    // Twice the board's heartbeat: a board stopped or frozen says nothing, so silence is the sign.
    const kSilenceMs = 30000;
    let silence = 0;

    function link(text) {
      if (band.textContent === text) {
        return;
      }
      band.textContent = text;
      band.hidden = text === '';
      document.body.classList.toggle('offline', text !== '');
      onLink(text);
    }

    function connect() {
      const source = new EventSource('/api/events');
      function listen() {
        clearTimeout(silence);
        silence = setTimeout(function () {
          link(gone);
          source.close();
          connect();
        }, kSilenceMs);
      }
      function heard() {
        listen();
        link('');
      }
      listen();
      source.onopen = heard;
      source.addEventListener('beat', heard);
      source.onmessage = function (event) {
        heard();
        onState(JSON.parse(event.data));
      };
      // The browser retries a broken stream by itself; one it gave up on is opened anew.
      source.onerror = function () {
        link(gone);
        if (source.readyState === EventSource.CLOSED) {
          source.close();
          clearTimeout(silence);
          setTimeout(connect, 2000);
        }
      };
    }

    link('Łączenie…');
    connect();
  },
};
