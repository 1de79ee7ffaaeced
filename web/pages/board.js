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

  // The widest number at a height, as the window's fit measures it.
  function widest(height) {
    measure.font = height + 'px monospace';
    let best = { width: 0, characters: 0 };
    for (const text of state.shown) {
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

  function fitHeight(described, cellWidth) {
    if (described <= 1 || fits(widest(described), cellWidth)) {
      return described;
    }
    let low = 1;
    let high = described;
    while (high - low > 1) {
      const middle = low + Math.trunc((high - low) / 2);
      if (fits(widest(middle), cellWidth)) {
        low = middle;
      } else {
        high = middle;
      }
    }
    return low;
  }

  function draw() {
    if (state === null) {
      return;
    }
    document.body.style.background = state.background;
    const width = window.innerWidth;
    // The sign has a strip of its own below the cells, so no number is hidden behind it.
    const height = window.innerHeight - (band.hidden ? 0 : band.offsetHeight);
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
  }, draw);
})();
