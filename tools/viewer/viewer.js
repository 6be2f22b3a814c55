// comtrade-view's page: lanes drawn by uPlot on one shared time axis, zoom and
// pan, two cursors that read the values, RMS and phasors the tool embedded,
// a phasor diagram per three-phase group. Every text from the recording goes
// in through textContent, never as markup.
(function () {
  'use strict';

  const D = JSON.parse(document.getElementById('kdata').textContent);
  const N = D.count;
  const root = document.documentElement;
  const CURSOR_COLOURS = { A: '#c0392b', B: '#2155b8' };
  const Y_AXIS = 74; // px; the same in every lane so the plots line up

  // ---- the embedded blocks: base64 of deflated little-endian arrays --------
  let busy = 0;
  function setBusy(delta) {
    busy += delta;
    root.dataset.busy = String(busy);
  }
  const blobs = new Map();
  function blob(id) {
    let p = blobs.get(id);
    if (!p) {
      setBusy(1);
      p = inflate(id).finally(() => setBusy(-1));
      blobs.set(id, p);
    }
    return p;
  }
  async function inflate(id) {
    const text = document.getElementById('kb' + id).textContent;
    const bin = atob(text);
    const bytes = new Uint8Array(bin.length);
    for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
    return new Response(stream).arrayBuffer();
  }
  const floats = async (id) => new Float32Array(await blob(id));
  const doubles = async (id) => new Float64Array(await blob(id));
  const ints = async (id) => new Int32Array(await blob(id));

  // ---- time: straight segments [first index, time, step], or every time ----
  let times = null;
  const segs = D.time.segments || null;
  function segOf(i) {
    let lo = 0, hi = segs.length - 1;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (segs[mid][0] <= i) lo = mid; else hi = mid - 1;
    }
    return segs[lo];
  }
  function tAt(i) {
    if (times) return times[i];
    const s = segOf(i);
    return s[1] + (i - s[0]) * s[2];
  }
  // The sample nearest to t.
  function nearest(t) {
    let lo = 0, hi = N - 1;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (tAt(mid) < t) lo = mid + 1; else hi = mid;
    }
    if (lo > 0 && Math.abs(tAt(lo - 1) - t) <= Math.abs(tAt(lo) - t)) lo--;
    return lo;
  }
  // First sample at or after t.
  function firstAtOrAfter(t) {
    let lo = 0, hi = N - 1;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (tAt(mid) < t) lo = mid + 1; else hi = mid;
    }
    return lo;
  }

  // ---- numbers and units ------------------------------------------------------
  const PREFIXES = { '-12': 'p', '-9': 'n', '-6': 'µ', '-3': 'm', '0': '', '3': 'k', '6': 'M', '9': 'G', '12': 'T' };
  function prefixFor(scale) {
    if (!(scale > 0) || !isFinite(scale)) return 0;
    return Math.max(-12, Math.min(12, Math.floor(Math.log10(scale) / 3) * 3));
  }
  function si(v, unit, digits) {
    if (v === null || v === undefined || Number.isNaN(v)) return '—';
    const e = prefixFor(Math.abs(v));
    const sep = unit || e ? ' ' : '';
    return (v / Math.pow(10, e)).toPrecision(digits || 5) + sep + PREFIXES[e] + (unit || '');
  }
  function seconds(t) {
    if (t === null || Number.isNaN(t)) return '—';
    return t.toFixed(6) + ' s';
  }
  const angle = (a) => (Number.isNaN(a) ? '—' : a.toFixed(2) + '°');

  // ---- channels -----------------------------------------------------------------
  const lanes = D.channels.map((c, i) => ({
    index: i, c, analog: 'chunks' in c, visible: true, chunks: new Map(),
    envelopes: [], changes: null, rms: null, magnitude: null, angle: null, u: null, el: null, points: 0,
  }));
  let cycles = null;

  // Values of chunk k of an analog lane, as the library gives them.
  function chunk(lane, k) {
    let p = lane.chunks.get(k);
    if (!p) {
      const [id, kind, width] = lane.c.chunks[k];
      p = blob(id).then((buf) => {
        if (kind === 'f32') return Float64Array.from(new Float32Array(buf));
        if (kind === 'f64') return new Float64Array(buf);
        const d = width === 1 ? new Int8Array(buf) : width === 2 ? new Int16Array(buf) : new Int32Array(buf);
        const out = new Float64Array(d.length);
        const a = lane.c.a, b = lane.c.b, m = lane.c.m;
        let k = 0;
        for (let i = 0; i < d.length; i++) {
          k = (k + d[i]) | 0;
          out[i] = k === -2147483648 ? NaN : (k * a + b) * m;
        }
        return out;
      });
      lane.chunks.set(k, p);
    }
    return p;
  }
  // Values of samples i0..i1 (inclusive) when their chunks are decoded, else null
  // after asking for them.
  const ready = new Map(); // promise -> value, once settled
  function settled(p) {
    if (ready.has(p)) return ready.get(p);
    if (!p.watched) {
      p.watched = true;
      p.then((v) => { ready.set(p, v); scheduleDraw(); }, reportError);
    }
    return null;
  }
  function valuesIn(lane, i0, i1) {
    const size = D.chunk;
    const parts = [];
    let missing = false;
    for (let k = Math.floor(i0 / size); k <= Math.floor(i1 / size); k++) {
      const v = settled(chunk(lane, k));
      if (!v) missing = true;
      parts.push(v);
    }
    if (missing) return null;
    return (i) => parts[Math.floor(i / size) - Math.floor(i0 / size)][i % size];
  }

  // ---- what a lane draws for the view: never more points than pixels ---------------
  let view = { x0: tAt(0), x1: tAt(N - 1) };
  const full = { x0: view.x0, x1: view.x1 };
  if (!(full.x1 > full.x0)) { full.x0 -= 0.001; full.x1 += 0.001; view = { x0: full.x0, x1: full.x1 }; }

  function plotWidth(lane) {
    return Math.max(50, Math.floor(lane.u ? lane.u.bbox.width / devicePixelRatio : 600));
  }

  function analogData(lane, i0, i1, W) {
    const n = i1 - i0 + 1;
    const xs = [], ys = [];
    if (n <= W) {
      const v = valuesIn(lane, i0, i1);
      if (!v) return null;
      for (let i = i0; i <= i1; i++) { xs.push(tAt(i)); ys.push(nz(v(i))); }
      return [xs, ys];
    }
    const B = Math.ceil((2 * n) / Math.max(2, W - 4)); // samples per pair of points
    const levels = D.levels;
    let level = -1;
    for (let l = 0; l < levels.length; l++) if (levels[l] <= B) level = l;
    if (level < 0) {
      const start = Math.floor(i0 / B) * B;
      const v = valuesIn(lane, start, i1);
      if (!v) return null;
      for (let s = start; s <= i1; s += B) {
        const e = Math.min(i1, s + B - 1);
        pushPair(xs, ys, s, e, v, s, e);
      }
      return [xs, ys];
    }
    const env = settled(lane.envelopes[level] || (lane.envelopes[level] = floats(lane.c.envelopes[level])));
    if (!env) return null;
    const b = levels[level];
    const g = Math.max(1, Math.ceil(B / b)); // level buckets merged into one
    const S = b * g;
    const first = Math.floor(i0 / S) * g, last = Math.floor(i1 / b);
    for (let k = first; k <= last; k += g) {
      const e = Math.min(last, k + g - 1);
      pushPair(xs, ys, 2 * k, 2 * e + 1, (j) => env[j], k * b, Math.min(N - 1, (e + 1) * b - 1));
    }
    return [xs, ys];
  }
  // The extremes of get(j0..j1), in the order they occur, at the times of
  // samples s and the middle of s..e.
  function pushPair(xs, ys, j0, j1, get, s, e) {
    let lo = Infinity, hi = -Infinity, loAt = 0, hiAt = 0;
    for (let j = j0; j <= j1; j++) {
      const v = get(j);
      if (v < lo) { lo = v; loAt = j; }
      if (v > hi) { hi = v; hiAt = j; }
    }
    const mid = Math.min(N - 1, Math.round((s + e) / 2));
    xs.push(tAt(s), tAt(mid));
    if (lo > hi) { ys.push(null, null); return; }
    if (loAt <= hiAt) ys.push(lo, hi); else ys.push(hi, lo);
  }
  const nz = (v) => (Number.isNaN(v) ? null : v);

  function stateAt(lane, i) {
    // Each change toggles the state.
    const ch = lane.changes;
    let lo = 0, hi = ch.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (ch[mid] <= i) lo = mid + 1; else hi = mid;
    }
    return (lane.c.initial ^ (lo & 1)) & 1;
  }
  function statusData(lane, i0, i1, W) {
    const ch = settled(lane.changesP || (lane.changesP = ints(lane.c.changes)));
    if (!ch) return null;
    lane.changes = ch;
    const xs = [], ys = [];
    let from = 0;
    while (from < ch.length && ch[from] <= i0) from++;
    let to = from;
    while (to < ch.length && ch[to] <= i1) to++;
    if (2 * (to - from) + 2 <= W) {
      xs.push(tAt(i0)); ys.push(stateAt(lane, i0));
      for (let j = from; j < to; j++) { xs.push(tAt(ch[j])); ys.push(stateAt(lane, ch[j])); }
      xs.push(tAt(i1)); ys.push(stateAt(lane, i1));
      return [xs, ys];
    }
    // Dense changes: per pixel bucket, both states when it holds a change.
    const B = Math.ceil((2 * (i1 - i0 + 1)) / Math.max(2, W - 4));
    let j = from;
    for (let s = i0; s <= i1; s += B) {
      const e = Math.min(i1, s + B - 1);
      const a = stateAt(lane, s);
      let changed = false;
      while (j < to && ch[j] <= e) { if (ch[j] > s) changed = true; j++; }
      xs.push(tAt(s), tAt(Math.min(N - 1, s + (B >> 1))));
      ys.push(changed ? 0 : a, changed ? 1 : a);
    }
    return [xs, ys];
  }

  // ---- lanes ----------------------------------------------------------------------
  const lanesEl = document.getElementById('lanes');
  let drawQueued = false;
  function scheduleDraw() {
    if (drawQueued) return;
    drawQueued = true;
    requestAnimationFrame(() => { drawQueued = false; drawAll(); });
  }
  function reportError(e) {
    document.getElementById('status').textContent = String(e && e.message ? e.message : e);
    console.error(e);
  }

  function yRange(lane, ys) {
    let lo = Infinity, hi = -Infinity;
    for (const v of ys) if (v !== null) { if (v < lo) lo = v; if (v > hi) hi = v; }
    if (lo > hi) return [-1, 1];
    if (lo === hi) { const p = Math.abs(lo) * 0.1 || 1; return [lo - p, hi + p]; }
    const pad = (hi - lo) * 0.06;
    return [lo - pad, hi + pad];
  }

  function drawLane(lane) {
    if (!lane.visible || !lane.u) return;
    const W = plotWidth(lane);
    const i0 = Math.max(0, firstAtOrAfter(view.x0) - 1);
    const i1 = Math.min(N - 1, firstAtOrAfter(view.x1));
    const data = lane.analog ? analogData(lane, i0, i1, W) : statusData(lane, i0, i1, W);
    if (!data) return; // drawn again once its blocks are decoded
    lane.points = data[0].length;
    lane.el.dataset.points = String(lane.points);
    lane.el.dataset.width = String(W);
    lane.yr = lane.analog ? yRange(lane, data[1]) : [-0.3, 1.3];
    lane.u.setData(data);
  }
  function drawAll() {
    for (const lane of lanes) drawLane(lane);
    axis.setData([[view.x0, view.x1], [null, null]]);
    const span = view.x1 - view.x0;
    document.getElementById('span').textContent =
      view.x0.toFixed(4) + ' … ' + view.x1.toFixed(4) + ' s (' + si(span, 's', 3) + ')';
    root.dataset.view = view.x0 + ',' + view.x1;
  }

  function setView(x0, x1) {
    const width = full.x1 - full.x0;
    let span = Math.min(width, Math.max(x1 - x0, width / N, 1e-9));
    let a = (x0 + x1) / 2 - span / 2;
    a = Math.max(full.x0, Math.min(full.x1 - span, a));
    view = { x0: a, x1: a + span };
    scheduleDraw();
  }
  function zoomAt(t, factor) {
    setView(t - (t - view.x0) * factor, t + (view.x1 - t) * factor);
  }
  function pan(fraction) {
    const d = (view.x1 - view.x0) * fraction;
    setView(view.x0 + d, view.x1 + d);
  }

  function drawCursors(u) {
    const ctx = u.ctx;
    const { left, top, width, height } = u.bbox;
    ctx.save();
    ctx.beginPath();
    ctx.rect(left, top, width, height);
    ctx.clip();
    for (const name of ['A', 'B']) {
      const t = cursors[name];
      if (t === null) continue;
      const x = Math.round(u.valToPos(t, 'x', true)) + 0.5;
      ctx.strokeStyle = CURSOR_COLOURS[name];
      ctx.lineWidth = devicePixelRatio;
      ctx.setLineDash(name === 'A' ? [] : [4 * devicePixelRatio, 3 * devicePixelRatio]);
      ctx.beginPath();
      ctx.moveTo(x, top);
      ctx.lineTo(x, top + height);
      ctx.stroke();
    }
    ctx.restore();
  }

  function laneOptions(lane, width) {
    const unit = lane.analog ? lane.c.unit : '';
    const colour = lane.analog ? lane.c.colour : '#555555';
    return {
      width, height: lane.analog ? 110 : 46,
      legend: { show: false },
      cursor: { y: false, points: { show: false }, drag: { x: true, y: false, setScale: false } },
      select: { show: true },
      scales: {
        x: { time: false, auto: true, range: () => [view.x0, view.x1] },
        y: { auto: true, range: () => lane.yr || [-1, 1] },
      },
      axes: [
        { show: false },
        lane.analog
          ? { size: Y_AXIS, gap: 3, space: 15, ticks: { size: 4 }, font: '11px sans-serif',
              values: (u, splits) => {
                const scale = Math.max(...splits.map(Math.abs));
                const e = prefixFor(scale);
                return splits.map((v) => +(v / Math.pow(10, e)).toPrecision(4) + ' ' + PREFIXES[e] + unit);
              } }
          : { size: Y_AXIS, font: '11px sans-serif', splits: () => [0, 1], values: () => ['0', '1'] },
      ],
      series: [{}, lane.analog
        ? { stroke: colour, width: 1, spanGaps: false, points: { show: false } }
        : { stroke: colour, width: 1, fill: colour + '55', paths: uPlot.paths.stepped({ align: 1 }), points: { show: false } }],
      hooks: {
        draw: [drawCursors],
        setSelect: [(u) => {
          if (u.select.width > 3) {
            setView(u.posToVal(u.select.left, 'x'), u.posToVal(u.select.left + u.select.width, 'x'));
          }
          u.setSelect({ left: 0, top: 0, width: 0, height: 0 }, false);
        }],
      },
    };
  }

  // Mouse: wheel zooms about the pointer, Shift+drag pans, a click places the
  // chosen cursor, a drag zooms to its range, a double click resets.
  function wire(u, host) {
    const over = u.over;
    over.addEventListener('wheel', (e) => {
      e.preventDefault();
      zoomAt(u.posToVal(e.offsetX, 'x'), e.deltaY > 0 ? 1.25 : 0.8);
    }, { passive: false });
    let down = null, panning = null;
    host.addEventListener('mousedown', (e) => {
      if (e.shiftKey && e.button === 0) {
        panning = { x: e.clientX, x0: view.x0, x1: view.x1, w: u.bbox.width / devicePixelRatio };
        e.stopPropagation();
        e.preventDefault();
      } else {
        down = { x: e.clientX, y: e.clientY };
      }
    }, true);
    window.addEventListener('mousemove', (e) => {
      if (!panning) return;
      const dt = ((e.clientX - panning.x) * (panning.x1 - panning.x0)) / panning.w;
      setView(panning.x0 - dt, panning.x1 - dt);
    });
    window.addEventListener('mouseup', () => { panning = null; });
    over.addEventListener('click', (e) => {
      if (!down || Math.abs(e.clientX - down.x) > 3) return;
      placeCursor(activeCursor(), u.posToVal(e.offsetX, 'x'));
    });
    over.addEventListener('dblclick', () => setView(full.x0, full.x1));
  }

  const allPlots = [];
  function build() {
    const width = Math.max(300, lanesEl.clientWidth - 12);
    for (const lane of lanes) {
      const el = document.createElement('div');
      el.className = 'lane';
      el.id = 'lane-' + lane.c.id;
      const title = document.createElement('div');
      title.className = 'lane-title';
      const sw = document.createElement('span');
      sw.className = 'swatch';
      sw.style.background = lane.analog ? lane.c.colour : '#555';
      title.append(sw, document.createTextNode(lane.c.id + '  ' + lane.c.name));
      if (lane.analog && lane.c.unit) {
        const unit = document.createElement('span');
        unit.className = 'unit';
        unit.textContent = ' (' + lane.c.unit + ')';
        title.append(unit);
      }
      const plot = document.createElement('div');
      el.append(title, plot);
      lanesEl.append(el);
      lane.el = el;
      lane.u = new uPlot(laneOptions(lane, width), [[], []], plot);
      wire(lane.u, plot);
      allPlots.push(lane.u);
    }
    const axisEl = document.createElement('div');
    axisEl.className = 'lane axis';
    lanesEl.append(axisEl);
    axis = new uPlot({
      width, height: 44, legend: { show: false }, cursor: { show: false },
      scales: { x: { time: false, auto: true, range: () => [view.x0, view.x1] }, y: { auto: false, range: [0, 1] } },
      axes: [{ font: '11px sans-serif', label: D.hasTrigger ? 's from the trigger' : 's from the first sample',
               labelSize: 14, labelFont: '11px sans-serif', size: 28 },
             { size: Y_AXIS, values: () => [], ticks: { show: false }, grid: { show: false } }],
      series: [{}, {}],
      hooks: { draw: [drawCursors] },
    }, [[view.x0, view.x1], [null, null]], axisEl);
    allPlots.push(axis);
    window.addEventListener('resize', () => {
      const w = Math.max(300, lanesEl.clientWidth - 12);
      for (const u of allPlots) u.setSize({ width: w, height: u.height });
      scheduleDraw();
    });
  }
  let axis = null;

  // ---- cursors ---------------------------------------------------------------------
  const cursors = { A: null, B: null };
  const cursorIndex = { A: null, B: null };
  let shownCursor = 'A';
  function activeCursor() {
    return document.getElementById('pick-B').checked ? 'B' : 'A';
  }
  // On the sample nearest to t.
  function placeCursor(name, t) {
    if (!isFinite(t)) return;
    const i = nearest(t);
    cursorIndex[name] = i;
    cursors[name] = tAt(i);
    shownCursor = name;
    for (const u of allPlots) u.redraw(false, false);
    updateReadout();
  }

  const cell = (id, cls) => {
    const td = document.createElement('td');
    td.id = id;
    if (cls) td.className = cls;
    return td;
  };
  function buildReadout() {
    const table = document.getElementById('readout');
    const head = table.createTHead().insertRow();
    for (const [text, cls] of [['', ''], ['A', 'cur-A'], ['B', 'cur-B'], ['B − A', '']]) {
      const th = document.createElement('th');
      th.textContent = text;
      th.className = cls;
      head.append(th);
    }
    const body = table.createTBody();
    const timeRow = body.insertRow();
    const th = document.createElement('td');
    th.textContent = 't';
    timeRow.append(th, cell('t-A', 'cur-A'), cell('t-B', 'cur-B'), cell('t-D'));
    const cycleRow = body.insertRow();
    const ct = document.createElement('td');
    ct.innerHTML = '<small>cycle to</small>';
    cycleRow.append(ct, cell('cyc-A'), cell('cyc-B'), cell('cyc-D'));
    for (const lane of lanes) {
      const row = body.insertRow();
      row.id = 'row-' + lane.index;
      const name = document.createElement('td');
      name.textContent = lane.c.id + ' ' + lane.c.name;
      name.title = lane.c.name;
      row.append(name);
      for (const which of ['A', 'B', 'D']) {
        const td = cell('', which === 'D' ? '' : 'cur-' + which);
        const parts = lane.analog ? ['val', 'rms', 'ph'] : ['val'];
        parts.forEach((p, k) => {
          if (k) td.append(document.createElement('br'));
          const span = document.createElement('span');
          span.id = p + '-' + which + '-' + lane.index;
          td.append(span);
        });
        row.append(td);
      }
      lane.row = row;
    }
  }
  function measureIndex(t) {
    // The last whole cycle that ends at or before t.
    if (!cycles || t === null) return -1;
    let lo = 0, hi = cycles.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (cycles[mid] <= t + 1e-9) lo = mid + 1; else hi = mid;
    }
    return lo - 1;
  }
  let readoutRun = 0;
  async function updateReadout() {
    const run = ++readoutRun;
    setBusy(1);
    try {
      const at = {};
      for (const name of ['A', 'B']) {
        const i = cursorIndex[name];
        at[name] = { i, t: cursors[name], k: measureIndex(cursors[name]), values: [] };
        for (const lane of lanes) {
          if (i === null) { at[name].values.push(null); continue; }
          if (lane.analog) {
            const v = (await chunk(lane, Math.floor(i / D.chunk)))[i % D.chunk];
            at[name].values.push(v);
          } else {
            lane.changes = lane.changes || await (lane.changesP || (lane.changesP = ints(lane.c.changes)));
            at[name].values.push(stateAt(lane, i));
          }
        }
      }
      if (run !== readoutRun) return;
      const text = (id, s) => { document.getElementById(id).textContent = s; };
      const both = at.A.i !== null && at.B.i !== null;
      text('t-A', seconds(at.A.t));
      text('t-B', seconds(at.B.t));
      text('t-D', both ? seconds(at.B.t - at.A.t) : '—');
      text('cyc-A', at.A.k >= 0 ? seconds(cycles[at.A.k]) : '—');
      text('cyc-B', at.B.k >= 0 ? seconds(cycles[at.B.k]) : '—');
      text('cyc-D', '');
      for (const lane of lanes) {
        const j = lane.index;
        if (!lane.analog) {
          for (const name of ['A', 'B']) text('val-' + name + '-' + j, at[name].i === null ? '—' : String(at[name].values[j]));
          text('val-D-' + j, both ? (at.A.values[j] === at.B.values[j] ? 'same' : 'changed') : '—');
          continue;
        }
        const unit = lane.c.unit;
        const m = {};
        for (const name of ['A', 'B']) {
          const k = at[name].k;
          m[name] = { v: at[name].values[j], rms: NaN, mag: NaN, ang: NaN };
          if (k >= 0) {
            m[name].rms = lane.rms[k];
            m[name].mag = lane.magnitude[k];
            m[name].ang = lane.angle[k];
          }
          text('val-' + name + '-' + j, at[name].i === null ? '—' : si(m[name].v, unit));
          text('rms-' + name + '-' + j, at[name].i === null ? '' : 'RMS ' + si(m[name].rms, unit));
          text('ph-' + name + '-' + j, at[name].i === null ? '' : si(m[name].mag, unit) + ' ∠ ' + angle(m[name].ang));
        }
        text('val-D-' + j, both ? si(m.B.v - m.A.v, unit) : '—');
        text('rms-D-' + j, both ? 'RMS ' + si(m.B.rms - m.A.rms, unit) : '');
        text('ph-D-' + j, both ? '∠ ' + angle(wrap(m.B.ang - m.A.ang)) : '');
      }
      drawPhasors(at[shownCursor].k);
      root.dataset.cursorA = String(at.A.t);
    } catch (e) {
      reportError(e);
    } finally {
      setBusy(-1);
    }
  }
  const wrap = (a) => ((((a + 180) % 360) + 360) % 360) - 180;

  // ---- phasor diagrams -------------------------------------------------------------
  const SVG = 'http://www.w3.org/2000/svg';
  function svgEl(name, attrs) {
    const el = document.createElementNS(SVG, name);
    for (const k in attrs) el.setAttribute(k, attrs[k]);
    return el;
  }
  function drawPhasors(k) {
    document.getElementById('phasor-cursor').textContent = shownCursor;
    const host = document.getElementById('phasors');
    host.textContent = '';
    if (!D.groups.length) { host.textContent = 'No three-phase group among the channels.'; return; }
    D.groups.forEach((g, gi) => {
      const box = document.createElement('div');
      box.className = 'group';
      const size = 150, r = 64, c = size / 2;
      const svg = svgEl('svg', { width: size, height: size, viewBox: '0 0 ' + size + ' ' + size, id: 'diagram-' + gi });
      svg.append(svgEl('circle', { cx: c, cy: c, r, fill: 'none', stroke: '#ccc' }));
      svg.append(svgEl('line', { x1: c - r, y1: c, x2: c + r, y2: c, stroke: '#eee' }));
      svg.append(svgEl('line', { x1: c, y1: c - r, x2: c, y2: c + r, stroke: '#eee' }));
      const ph = g.lanes.map((li) => {
        const lane = lanes[li];
        return { lane, mag: k >= 0 ? lane.magnitude[k] : NaN, ang: k >= 0 ? lane.angle[k] : NaN };
      });
      const max = Math.max(...ph.map((p) => (Number.isNaN(p.mag) ? 0 : p.mag)));
      for (const p of ph) {
        if (!(max > 0) || Number.isNaN(p.mag)) continue;
        const len = (p.mag / max) * r, a = (p.ang * Math.PI) / 180;
        const x = c + len * Math.cos(a), y = c - len * Math.sin(a);
        svg.append(svgEl('line', { x1: c, y1: c, x2: x, y2: y, stroke: p.lane.c.colour, 'stroke-width': 2 }));
        const hx = Math.cos(a), hy = -Math.sin(a);
        svg.append(svgEl('polygon', {
          points: [x, y, x - 8 * hx - 4 * hy, y - 8 * hy + 4 * hx, x - 8 * hx + 4 * hy, y - 8 * hy - 4 * hx].join(' '),
          fill: p.lane.c.colour,
        }));
      }
      const info = document.createElement('div');
      const h3 = document.createElement('h3');
      h3.textContent = g.name;
      const table = document.createElement('table');
      const rows = ph.map((p) => [p.lane.c.id + ' ' + p.lane.c.phase, p.mag, p.ang, p.lane.c.unit])
        .concat(['zero', 'positive', 'negative'].map((name, s) =>
          [name, k >= 0 ? g.mag[s][k] : NaN, k >= 0 ? g.ang[s][k] : NaN, lanes[g.lanes[0]].c.unit, 'seq-' + gi + '-' + s]));
      for (const [name, mag, ang, unit, id] of rows) {
        const tr = table.insertRow();
        if (id) tr.id = id;
        const th = document.createElement('th');
        th.textContent = name;
        const m = document.createElement('td');
        m.textContent = si(mag, unit);
        const an = document.createElement('td');
        an.textContent = angle(ang);
        tr.append(th, m, an);
      }
      info.append(h3, table);
      box.append(svg, info);
      host.append(box);
    });
  }

  // ---- header, channel list, toolbar ------------------------------------------------
  function buildHeader() {
    document.getElementById('title').textContent = (D.station || 'Recording') + ' — ' + D.file;
    const facts = document.getElementById('facts');
    const rates = D.rates.map((r) => r[0] + ' Hz to sample ' + r[1]).join(', ') || 'from the time stamps';
    for (const [k, v] of [['Station', D.station], ['Device', D.device], ['File', D.file],
      ['Revision', String(D.revision)], ['Data', D.type], ['Start', D.start], ['Trigger', D.trigger],
      ['Line', D.frequency + ' Hz'], ['Rates', rates],
      ['Samples', N === D.total ? String(N) : N + ' of ' + D.total]]) {
      const div = document.createElement('div');
      const dt = document.createElement('dt');
      dt.textContent = k;
      const dd = document.createElement('dd');
      dd.textContent = v;
      div.append(dt, dd);
      facts.append(div);
    }
  }
  function buildChannelList() {
    const list = document.getElementById('channel-list');
    for (const lane of lanes) {
      const label = document.createElement('label');
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.checked = true;
      box.id = 'show-' + lane.index;
      box.addEventListener('change', () => {
        lane.visible = box.checked;
        lane.el.classList.toggle('hidden', !box.checked);
        lane.row.classList.toggle('hidden', !box.checked);
        scheduleDraw();
      });
      label.append(box, document.createTextNode(' ' + lane.c.id + ' ' + lane.c.name));
      list.append(label);
    }
  }
  function wireToolbar() {
    const on = (id, f) => document.getElementById(id).addEventListener('click', f);
    on('reset', () => setView(full.x0, full.x1));
    on('zoom-in', () => zoomAt((view.x0 + view.x1) / 2, 0.5));
    on('zoom-out', () => zoomAt((view.x0 + view.x1) / 2, 2));
    on('pan-left', () => pan(-0.25));
    on('pan-right', () => pan(0.25));
    const input = document.getElementById('cursor-time');
    const place = () => {
      const t = parseFloat(input.value.replace(',', '.'));
      if (Number.isFinite(t)) placeCursor(activeCursor(), t);
    };
    on('cursor-set', place);
    input.addEventListener('keydown', (e) => { if (e.key === 'Enter') place(); });
    for (const name of ['A', 'B']) {
      document.getElementById('pick-' + name).addEventListener('change', () => {
        shownCursor = name;
        if (cursors[name] !== null) updateReadout();
      });
    }
    window.addEventListener('keydown', (e) => {
      if (e.target.tagName === 'INPUT') return;
      if (e.key === 'ArrowLeft') pan(-0.25);
      else if (e.key === 'ArrowRight') pan(0.25);
      else if (e.key === '+' || e.key === '=') zoomAt((view.x0 + view.x1) / 2, 0.5);
      else if (e.key === '-') zoomAt((view.x0 + view.x1) / 2, 2);
      else if (e.key === 'Escape' || e.key === '0') setView(full.x0, full.x1);
    });
  }

  // ---- start -----------------------------------------------------------------------
  async function start() {
    setBusy(1);
    try {
      if (!segs) times = await doubles(D.time.blob);
      cycles = await doubles(D.cycles);
      for (const lane of lanes) {
        if (!lane.analog) continue;
        [lane.rms, lane.magnitude, lane.angle] =
          await Promise.all([floats(lane.c.rms), floats(lane.c.magnitude), floats(lane.c.angle)]);
      }
      for (const g of D.groups) {
        g.mag = await Promise.all(g.magnitude.map(floats));
        g.ang = await Promise.all(g.angle.map(floats));
      }
      buildHeader();
      build();
      buildReadout();
      buildChannelList();
      wireToolbar();
      drawAll();
      const t0 = full.x0 <= 0 && 0 <= full.x1 ? 0 : full.x0;
      placeCursor('A', t0);
      root.dataset.ready = '1';
    } catch (e) {
      reportError(e);
    } finally {
      setBusy(-1);
    }
  }
  start();
})();
