'use strict';
// The class view: shows the program's state as it arrives on the event stream. Every
// text comes formatted from the program; only the running time ticks here.
(function () {
  const code = new URLSearchParams(location.search).get('k');
  const query = code ? '?k=' + encodeURIComponent(code) : '';
  const $ = (id) => document.getElementById(id);
  let state = null;
  let receivedAt = 0;

  $('csv').href = 'sitzung.csv' + query;
  $('pdf').href = 'bericht.pdf' + query;

  function two(n) { return (n < 10 ? '0' : '') + n; }

  // The display's own format, which has a point in every language.
  function clock(ms) {
    const hundredths = Math.floor(ms / 10);
    const seconds = Math.floor(hundredths / 100);
    return two(Math.floor(seconds / 60)) + ':' + two(seconds % 60) + '.' + two(hundredths % 100);
  }

  function tick() {
    if (state && state.running) {
      const ms = state.runningMs + (performance.now() - receivedAt);
      $('time').textContent = clock(Math.max(0, ms));
      requestAnimationFrame(tick);
    }
  }

  function setText(id, text) { $(id).textContent = text ? text : '–'; }

  function cells(row, tag, texts) {
    for (const text of texts) {
      const cell = document.createElement(tag);
      cell.textContent = text;
      row.appendChild(cell);
    }
  }

  function renderRuns(s) {
    const table = $('runs');
    const head = table.tHead.rows[0];
    head.replaceChildren();
    cells(head, 'th', s.runColumns || []);
    const body = document.createElement('tbody');
    for (const run of s.runs || [])
      cells(body.insertRow(), 'td', run);
    table.tBodies[0].replaceWith(body);
    $('noruns').hidden = (s.runs || []).length > 0;
    const scroll = table.parentElement;
    scroll.scrollTop = scroll.scrollHeight;
  }

  function renderStats(s) {
    const list = $('stats');
    list.replaceChildren();
    for (const [label, value] of s.statistics || []) {
      const dt = document.createElement('dt');
      const dd = document.createElement('dd');
      dt.textContent = label;
      dd.textContent = value;
      list.append(dt, dd);
    }
  }

  const svgNs = 'http://www.w3.org/2000/svg';
  function svg(parent, name, attributes, text) {
    const e = document.createElementNS(svgNs, name);
    for (const key in attributes)
      e.setAttribute(key, attributes[key]);
    if (text !== undefined)
      e.textContent = text;
    parent.appendChild(e);
    return e;
  }

  function number(value, span, sep, whole) {
    const decimals = whole || span >= 100 ? 0 : span >= 10 ? 1 : span >= 1 ? 2 : 3;
    return value.toFixed(decimals).replace('.', sep);
  }

  function renderChart(s) {
    const chart = $('chart');
    chart.replaceChildren();
    const points = s.chartPoints || [];
    const left = 95, right = 580, top = 15, bottom = 265;
    svg(chart, 'line', {x1: left, y1: bottom, x2: right, y2: bottom, class: 'axis'});
    svg(chart, 'line', {x1: left, y1: top, x2: left, y2: bottom, class: 'axis'});
    svg(chart, 'text', {x: (left + right) / 2, y: 310, 'text-anchor': 'middle'}, s.chartXLabel || '');
    svg(chart, 'text', {x: 18, y: (top + bottom) / 2, 'text-anchor': 'middle',
                        transform: `rotate(-90 18 ${(top + bottom) / 2})`}, s.chartYLabel || '');
    if (points.length === 0) {
      svg(chart, 'text', {x: (left + right) / 2, y: (top + bottom) / 2, 'text-anchor': 'middle'},
          'Noch keine Werte');
      return;
    }
    const xs = points.map((p) => p[0]), ys = points.map((p) => p[1]);
    let x0 = Math.min(...xs), x1 = Math.max(...xs), y0 = Math.min(0, ...ys), y1 = Math.max(...ys);
    if (x1 === x0) { x0 -= 1; x1 += 1; }
    if (y1 === y0) { y1 = y0 + 1; }
    y1 += (y1 - y0) * 0.05;
    const px = (x) => left + (x - x0) / (x1 - x0) * (right - left);
    const py = (y) => bottom - (y - y0) / (y1 - y0) * (bottom - top);
    const sep = s.decimalSeparator || ',';
    for (const y of [y0, (y0 + y1) / 2, y1]) {
      svg(chart, 'line', {x1: left, y1: py(y), x2: right, y2: py(y), class: 'grid'});
      svg(chart, 'text', {x: left - 6, y: py(y) + 5, 'text-anchor': 'end'}, number(y, y1 - y0, sep));
    }
    const whole = xs.every(Number.isInteger);
    for (const x of [x0, x1])
      svg(chart, 'text', {x: px(x), y: bottom + 24, 'text-anchor': 'middle'},
          number(x, x1 - x0, sep, whole));
    svg(chart, 'polyline', {points: points.map((p) => px(p[0]) + ',' + py(p[1])).join(' ')});
    for (const p of points)
      svg(chart, 'circle', {cx: px(p[0]), cy: py(p[1]), r: 4});
  }

  function render(s) {
    const wasRunning = state && state.running;
    state = s;
    receivedAt = performance.now();
    if (!s.running)
      $('time').textContent = s.timeText || '00:00.00';
    else if (!wasRunning)
      requestAnimationFrame(tick);
    const armed = $('armed');
    armed.textContent = s.armedText || '–';
    armed.style.background = s.armedColor || '#777';
    setText('series', s.seriesLabel);
    setText('mode', s.modeName);
    setText('result', s.resultText);
    renderRuns(s);
    renderStats(s);
    renderChart(s);
  }

  function connect() {
    const link = $('link');
    const events = new EventSource('events' + query);
    events.onopen = () => { link.textContent = 'verbunden'; link.className = 'online'; };
    events.onerror = () => {
      link.textContent = 'Verbindung unterbrochen – neuer Versuch …';
      link.className = 'offline';
    };
    events.onmessage = (e) => render(JSON.parse(e.data));
  }
  connect();
})();
