// The viewer's page: the signal list, stacked uPlot panels sharing one x
// window, two cursors and the exports. Every curve is drawn from the
// server's envelope of the window at one column per pixel.
import uPlot from "uplot";
import { COMPLEX_PARTS, complexForm, decodeState, delta, encodeState, engineering, envelopePoints, findNames, interpolate } from "./logic.js";

/** @typedef {import("./logic.js").Shown} Shown */
/** @typedef {import("./logic.js").ViewState} ViewState */
/** @typedef {{name: string, unit: string, complex: boolean}} SignalInfo */
/**
 * @typedef {{index: number, path: string, generation: number, reason?: string, format?: string,
 *   analysis?: string, plot?: string, axis?: string, axisUnit?: string, stepped?: boolean, ending?: string,
 *   endsEarly?: boolean, sweeps?: string[], signals?: SignalInfo[]}} FileInfo
 */
/** @typedef {{shown: Shown, sweep: number}} Curve */

const $ = (/** @type {string} */ id) => /** @type {HTMLElement} */ (document.getElementById(id));
const PART_UNITS = /** @type {Record<string, string>} */ ({ db: "dB", degrees: "°" });
const PART_NAMES = /** @type {Record<string, string>} */ ({ value: "", db: " dB", degrees: " phase", real: " re", imaginary: " im" });

/** @type {FileInfo[]} */
let files = [];
/** @type {ViewState} */
let state = { panels: [[]], x: null, cursors: [null, null], complex: "polar" };
/** @type {[number, number]} the window drawn last */
let shownWindow = [0, 1];
/** @type {{plot: uPlot, key: string, curves: Curve[]}[]} */
let plots = [];
let refreshes = 0;
let readouts = 0;
let unread = true;
/** @type {{plot: uPlot, from: number} | null} the panel a ctrl+drag pans */
let panning = null;
let moved = false;  // the latest press panned
let pending = 0;
let moving = false;  // the window moved since the last refresh: y ranges held
let moves = 0;  // windows set: a refresh answered for an older one is dropped

/**
 * @param {string} path
 * @param {Record<string, string | number>} [params]
 * @param {string} [method]
 */
async function api(path, params = {}, method = "GET") {
    const query = new URLSearchParams(Object.entries(params).map(([k, v]) => [k, String(v)]));
    const response = await fetch(`${path}?${query}`, { method });
    const body = await response.json();
    if (!response.ok) throw new Error(body.error);
    return body;
}

/** @param {Shown} s */
function signalIndex(s) {
    const f = files[s.file];
    return f && f.signals ? f.signals.findIndex((x) => x.name === s.name) : -1;
}

/** @param {Shown} s */
function unitOf(s) {
    const f = files[s.file];
    const signal = f && f.signals ? f.signals[signalIndex(s)] : undefined;
    return PART_UNITS[s.part] ?? (signal ? signal.unit : "");
}

function axisUnit() {
    const f = files.find((x) => x.signals);
    return f && f.axisUnit ? f.axisUnit : "";
}

const logAxis = () => files.some((f) => f.analysis === "AC");

/** @param {Shown} s @param {number} sweep */
function labelOf(s, sweep) {
    const f = files[s.file];
    const sweepLabel = f.sweeps && f.sweeps[sweep] ? ` ${f.sweeps[sweep]}` : "";
    const run = files.length > 1 ? `[${s.file}] ` : "";
    return `${run}${s.name}${PART_NAMES[s.part] ?? ""}${sweepLabel}`;
}

function saveState() {
    history.replaceState(null, "", location.pathname + encodeState(state));
}

function renderFiles() {
    $("files").replaceChildren(
        ...files.map((f) => {
            const div = document.createElement("div");
            const name = f.path.split("/").pop() || f.path;
            if (f.reason) {
                div.className = "failed";
                div.textContent = `[${f.index}] ${name}: ${f.reason}`;
            } else {
                div.textContent = `[${f.index}] ${name}${f.plot ? `: ${f.plot}` : ""} (${f.format}, ${f.analysis})`;
                if (f.endsEarly) {
                    const early = document.createElement("span");
                    early.className = "early";
                    early.textContent = ` ends early: ${f.ending}`;
                    div.append(early);
                }
            }
            div.title = f.path;
            return div;
        }),
    );
}

function renderSignals() {
    const pattern = /** @type {HTMLInputElement} */ ($("search")).value;
    const items = [];
    for (const f of files) {
        const names = (f.signals || []).map((s) => s.name);
        for (const i of findNames(names, pattern)) {
            const li = document.createElement("li");
            li.textContent = files.length > 1 ? `[${f.index}] ${names[i]}` : names[i];
            li.draggable = true;
            li.onclick = () => addSignal(f.index, names[i], state.panels.length - 1);
            li.ondragstart = (e) => e.dataTransfer && e.dataTransfer.setData("text/plain", JSON.stringify([f.index, names[i]]));
            items.push(li);
        }
    }
    $("signals").replaceChildren(...items);
}

/**
 * Adds a signal to a panel; a complex one as magnitude (or real part) there
 * and phase (or imaginary part) in a new panel.
 * @param {number} file @param {string} name @param {number} panel
 */
function addSignal(file, name, panel) {
    const f = files[file];
    const complex = (f.signals || []).some((s) => s.name === name && s.complex);
    const parts = COMPLEX_PARTS[state.complex];
    state.panels[panel].push({ file, name, part: complex ? parts[0] : "value" });
    if (complex) state.panels.push([{ file, name, part: parts[1] }]);
    refresh();
}

/** The button that switches complex signals between dB and phase, and real and imaginary. */
function showComplexForm() {
    $("complex").textContent = state.complex === "cartesian" ? "AC: re, im" : "AC: dB, phase";
}

/** @typedef {{x0: number, x1: number, sweeps: import("./logic.js").SweepEnvelope[]}} CurveEnvelope */

/**
 * The envelopes of the shown curves over one window (or each over its own
 * extent), in one request.
 * @param {Shown[]} shown @param {Record<string, string | number>} params
 * @returns {Promise<(CurveEnvelope | null)[]>} null for a signal its file lacks
 */
async function envelopes(shown, params) {
    const known = shown.filter((s) => signalIndex(s) >= 0);
    const curves = known.map((s) => `${s.file}.${signalIndex(s)}.${s.part}`).join(",");
    /** @type {CurveEnvelope[]} */
    const list = known.length ? (await api("/api/envelopes", { curves, ...params })).envelopes : [];
    return shown.map((s) => (signalIndex(s) >= 0 ? list.shift() || null : null));
}

/** The window of every shown curve together. */
async function fullWindow() {
    let lo = Infinity, hi = -Infinity;
    for (const e of await envelopes(state.panels.flat(), { columns: 1 })) {
        if (!e) continue;
        lo = Math.min(lo, e.x0);
        hi = Math.max(hi, e.x1);
    }
    return lo <= hi ? /** @type {[number, number]} */ ([lo, hi === lo ? lo + 1 : hi]) : null;
}

/**
 * The curves of one panel from their envelopes over the window, joined for uPlot.
 * @param {Shown[]} panel @param {(CurveEnvelope | null)[]} list @param {[number, number]} window
 */
function panelData(panel, list, window) {
    /** @type {Curve[]} */
    const curves = [];
    /** @type {uPlot.AlignedData[]} */
    const tables = [];
    panel.forEach((s, i) => {
        list[i]?.sweeps.forEach((sweep, k) => {
            const p = envelopePoints(sweep, window[0], window[1], logAxis());
            curves.push({ shown: s, sweep: k });
            tables.push([p.x, p.y]);
        });
    });
    const data = tables.length ? uPlot.join(tables) : /** @type {uPlot.AlignedData} */ ([[]]);
    return { curves, data };
}

/** @param {number} i @param {number} n */
const colour = (i, n) => `hsl(${Math.round((i * 360) / Math.max(n, 1) + 210) % 360} 70% 42%)`;

/**
 * @param {Curve[]} curves @param {number} index the panel's
 * @returns {uPlot.Options}
 */
function plotOptions(curves, index) {
    const unit = curves.length ? unitOf(curves[0].shown) : "";
    const xUnit = axisUnit();
    const stepped = uPlot.paths.stepped ? uPlot.paths.stepped({ align: 1 }) : undefined;
    return {
        width: Math.max(300, $("panels").clientWidth - 4),
        height: 220,
        // While the window moves the y range holds, so a frame only redraws
        // the curves and the x axis; the refresh that follows fits y again.
        scales: { x: { time: false, distr: logAxis() ? 3 : 1 }, y: { auto: () => !moving } },
        cursor: { drag: { x: true, y: false, setScale: false } },
        series: [
            { label: files.find((f) => f.axis)?.axis || "x", value: (_u, v) => engineering(v, xUnit) },
            ...curves.map((c, i) => ({
                label: labelOf(c.shown, c.sweep),
                stroke: colour(i, curves.length),
                spanGaps: true,
                paths: files[c.shown.file].stepped ? stepped : undefined,
                value: (/** @type {uPlot} */ _u, /** @type {number} */ v) => engineering(v, unit),
            })),
        ],
        axes: [
            { values: (_u, splits) => splits.map((v) => (v === null ? "" : engineering(v, xUnit, 3))) },
            { size: 70, values: (_u, splits) => splits.map((v) => (v === null ? "" : engineering(v, unit, 3))) },
        ],
        hooks: { draw: [drawCursors], setSelect: [zoomToSelection] },
        plugins: [{ hooks: { init: (/** @type {uPlot} */ u) => bindMouse(u, index) } }],
    };
}

/** @param {uPlot} u */
function drawCursors(u) {
    const ctx = u.ctx;
    state.cursors.forEach((x, i) => {
        if (x === null) return;
        const px = Math.round(u.valToPos(x, "x", true));
        ctx.save();
        ctx.strokeStyle = i ? "#d33" : "#33d";
        ctx.setLineDash([5, 3]);
        ctx.beginPath();
        ctx.moveTo(px, u.bbox.top);
        ctx.lineTo(px, u.bbox.top + u.bbox.height);
        ctx.stroke();
        ctx.restore();
    });
}

/** @param {uPlot} u */
function zoomToSelection(u) {
    if (u.select.width < 4) return;
    const x0 = u.posToVal(u.select.left, "x"), x1 = u.posToVal(u.select.left + u.select.width, "x");
    u.setSelect({ left: 0, top: 0, width: 0, height: 0 }, false);
    setWindow(x0, x1);
}

/** Wheel zoom, ctrl+drag pan, click cursors, double click fit. @param {uPlot} u @param {number} index */
function bindMouse(u, index) {
    const over = u.over;
    over.addEventListener("wheel", (e) => {
        e.preventDefault();
        const f = e.deltaY < 0 ? 0.8 : 1.25, w = over.clientWidth, p = e.offsetX;
        setWindow(u.posToVal(p - p * f, "x"), u.posToVal(p + (w - p) * f, "x"));
    });
    u.root.addEventListener("mousedown", (e) => {
        moved = false;
        if (!e.ctrlKey) return;
        e.stopPropagation();
        panning = { plot: u, from: e.clientX };
    }, true);
    over.addEventListener("click", (e) => {
        if (u.select.width > 0 || moved) return;  // a box zoom or a pan, not a click
        placeCursor(e.shiftKey ? 1 : 0, u.posToVal(e.offsetX, "x"));
    });
    u.root.addEventListener("dblclick", (e) => {
        e.stopPropagation();
        fit();
    }, true);
    const panelDiv = /** @type {HTMLElement} */ (u.root.parentElement);
    panelDiv.ondragover = (e) => e.preventDefault();
    panelDiv.ondrop = (e) => {
        e.preventDefault();
        const [file, name] = JSON.parse((e.dataTransfer && e.dataTransfer.getData("text/plain")) || "[]");
        if (typeof name === "string") addSignal(file, name, index);
    };
}

/** @param {number} which 0 for A, 1 for B @param {number} x */
function placeCursor(which, x) {
    state.cursors[which] = x;
    saveState();
    for (const p of plots) p.plot.redraw(false);
    return updateReadout();
}

/** @param {number} x0 @param {number} x1 */
function setWindow(x0, x1) {
    if (!(x1 > x0)) return;
    state.x = [x0, x1];
    shownWindow = [x0, x1];
    moving = true;
    moves++;
    for (const p of plots) p.plot.setScale("x", { min: x0, max: x1 });
    // The refresh (which saves the view in the URL, which the browser limits)
    // waits for 60 ms without a move, counted once uPlot's drawing, queued
    // before this, is done: so a slow frame does not start one mid-pan.
    clearTimeout(pending);
    queueMicrotask(() => {
        clearTimeout(pending);
        pending = window.setTimeout(refresh, 60);
    });
}

function fit() {
    state.x = null;
    refresh();
}

/** Fetches every panel's curves for the window and draws them. */
async function refresh() {
    const serial = ++refreshes, move = moves;
    clearTimeout(pending);  // this refresh does what a pending one would
    const window = state.x || (await fullWindow()) || [0, 1];
    // One column per pixel of the plotting area (the panel's width before the first plot).
    const width = plots.length ? plots[0].plot.over.clientWidth : $("panels").clientWidth;
    const columns = Math.min(20000, Math.max(100, Math.round(width)));
    const fetched = envelopes(state.panels.flat(), { columns, x0: window[0], x1: window[1], log: logAxis() ? 1 : 0 });
    saveState();  // while the envelopes come: the browser takes its time over the URL
    const list = await fetched;
    // A window set meanwhile has its own refresh coming: drawing this one
    // would put the plots back on the old window under the user's hand.
    if (serial !== refreshes || move !== moves) return;
    // A file's first read tells its sweeps' values and whether it ends early.
    if (unread) {
        unread = false;
        await loadFiles();
    }
    let next = 0;
    const results = state.panels.map((panel) => panelData(panel, list.slice(next, (next += panel.length)), window));
    shownWindow = window;
    moving = false;
    const holder = $("panels");
    results.forEach(({ curves, data }, i) => {
        const key = curves.map((c) => labelOf(c.shown, c.sweep)).join("\n");
        let entry = plots[i];
        if (!entry || entry.key !== key) {
            if (entry) entry.plot.destroy();
            const div = document.createElement("div");
            div.className = "panel";
            const close = document.createElement("span");
            close.className = "close";
            close.textContent = "\u2715";
            close.onclick = () => removePanel(i);
            div.append(close);
            holder.children[i] ? holder.replaceChild(div, holder.children[i]) : holder.append(div);
            entry = plots[i] = { plot: new uPlot(plotOptions(curves, i), data, div), key, curves };
        } else {
            entry.plot.setData(data, false);
        }
        entry.plot.setScale("x", { min: window[0], max: window[1] });
    });
    for (const p of plots.splice(results.length)) p.plot.destroy();
    while (holder.children.length > results.length) holder.lastChild && holder.removeChild(holder.lastChild);
    await updateReadout();
    document.body.dataset.drawn = String(serial);
}

/** @param {number} i */
function removePanel(i) {
    state.panels.splice(i, 1);
    if (!state.panels.length) state.panels.push([]);
    refresh();
}

/** Every shown curve's value at each cursor, from the file's samples. */
async function updateReadout() {
    const serial = ++readouts;
    const [a, b] = state.cursors;
    const xUnit = axisUnit();
    const rows = [];
    if (a !== null || b !== null) {
        const d = a !== null && b !== null ? delta(a, b, null, null) : null;
        rows.push(["x", engineering(a, xUnit, 6), engineering(b, xUnit, 6),
            d ? `dx ${engineering(d.dx, xUnit)}, 1/dx ${engineering(d.inverse, xUnit === "s" ? "Hz" : "")}` : ""]);
    }
    for (const s of state.panels.flat()) {
        const signal = signalIndex(s);
        if (signal < 0 || (a === null && b === null)) continue;
        const at = await Promise.all([a, b].map((x) => (x === null ? null : api("/api/value", { file: s.file, signal, part: s.part, x }))));
        const sweeps = at[0] ? at[0].sweeps.length : at[1].sweeps.length;
        for (let k = 0; k < sweeps; k++) {
            const values = at.map((v, i) => (v ? { ...v.sweeps[k], y: interpolate(v.sweeps[k].before, v.sweeps[k].after, /** @type {number} */ ([a, b][i])) } : null));
            const unit = unitOf(s);
            const cell = (/** @type {any} */ v) => (v ? { text: engineering(v.y, unit, 6), value: v.y, title: samplesText(v, xUnit) } : { text: "-", value: null, title: "" });
            const d = delta(0, 1, values[0] ? values[0].y : null, values[1] ? values[1].y : null);
            rows.push([labelOf(s, k), cell(values[0]), cell(values[1]), d.dy === null ? "" : `dy ${engineering(d.dy, unit)}`]);
        }
    }
    if (serial !== readouts) return;
    $("readout").replaceChildren(...rows.map((row) => {
        const tr = document.createElement("tr");
        for (const item of row) {
            const td = document.createElement("td");
            if (typeof item === "string") td.textContent = item;
            else {
                td.textContent = item.text;
                td.title = item.title;
                td.dataset.value = String(item.value);
            }
            tr.append(td);
        }
        return tr;
    }));
}

/** @param {{before: [number, number] | null, after: [number, number] | null}} v @param {string} unit */
function samplesText(v, unit) {
    const at = (/** @type {[number, number] | null} */ p) => (p ? engineering(p[0], unit, 8) : "none");
    return `between the samples at ${at(v.before)} and ${at(v.after)}`;
}

/** The files' own samples between the cursors, or in the window, as CSV. */
async function csvText() {
    const [a, b] = state.cursors;
    const [x0, x1] = a !== null && b !== null ? [Math.min(a, b), Math.max(a, b)] : shownWindow;
    /** @type {Map<string, Set<number>>} */
    const groups = new Map();
    for (const s of state.panels.flat()) {
        const key = `${s.file},${s.part}`;
        if (!groups.has(key)) groups.set(key, new Set());
        groups.get(key)?.add(signalIndex(s));
    }
    let text = "";
    for (const [key, signals] of groups) {
        const [file, part] = key.split(",");
        const query = new URLSearchParams({ file, part, signals: [...signals].join(","), x0: String(x0), x1: String(x1) });
        const body = await (await fetch(`/api/csv?${query}`)).text();
        text += text ? body.slice(body.indexOf("\n") + 1) : body;
    }
    return text;
}

/** @param {string} name @param {Blob} blob */
function download(name, blob) {
    const a = document.createElement("a");
    a.href = URL.createObjectURL(blob);
    a.download = name;
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

function exportPng() {
    const canvases = plots.map((p) => p.plot.ctx.canvas);
    const out = document.createElement("canvas");
    out.width = Math.max(1, ...canvases.map((c) => c.width));
    out.height = canvases.reduce((h, c) => h + c.height, 0) || 1;
    const ctx = /** @type {CanvasRenderingContext2D} */ (out.getContext("2d"));
    ctx.fillStyle = "#fff";
    ctx.fillRect(0, 0, out.width, out.height);
    let y = 0;
    for (const c of canvases) {
        ctx.drawImage(c, 0, y);
        y += c.height;
    }
    out.toBlob((blob) => blob && download("wavtrex-view.png", blob));
}

/** Reads the files' descriptions again; true when one was re-opened. */
async function loadFiles() {
    const info = await api("/api/files");
    const changed = JSON.stringify(info.files.map((/** @type {FileInfo} */ f) => f.generation)) !==
        JSON.stringify(files.map((f) => f.generation));
    files = info.files;
    unread ||= changed;
    renderFiles();
    renderSignals();
    return { info, changed };
}

/** The first view: the URL's, a saved one, the --signals names, or the first signal. */
function firstView(/** @type {any} */ info) {
    const fromUrl = decodeState(location.hash);
    if (fromUrl) return fromUrl;
    const saved = info.view ? decodeState(encodeURIComponent(info.view)) : null;
    if (saved) return saved;
    const ok = files.find((f) => f.signals && f.signals.length);
    if (!ok || !ok.signals) return state;
    const names = ok.signals.map((s) => s.name);
    const picked = info.signals.length ? info.signals.flatMap((/** @type {string} */ p) => findNames(names, p)) : [0];
    /** @type {ViewState} */
    const view = { panels: [[]], x: null, cursors: [null, null], complex: "polar" };
    for (const i of picked) {
        const complex = ok.signals[i].complex;
        const [first, second] = COMPLEX_PARTS.polar;
        view.panels[0].push({ file: ok.index, name: names[i], part: complex ? first : "value" });
        if (complex) (view.panels[1] ??= []).push({ file: ok.index, name: names[i], part: second });
    }
    return view;
}

async function reload() {
    await api("/api/reload", {}, "POST");
    const { changed } = await loadFiles();
    if (changed) await refresh();
}

/** A ctrl+drag pans the window; the listeners live as long as the page. */
function bindPanning() {
    window.addEventListener("mousemove", (e) => {
        if (!panning) return;
        moved = true;
        const u = panning.plot, d = e.clientX - panning.from;
        panning.from = e.clientX;
        setWindow(u.posToVal(-d, "x"), u.posToVal(u.over.clientWidth - d, "x"));
    });
    window.addEventListener("mouseup", () => (panning = null));
}

async function start() {
    bindPanning();
    const { info } = await loadFiles();
    state = firstView(info);
    $("search").oninput = renderSignals;
    $("fit").onclick = fit;
    $("panel").onclick = () => {
        state.panels.push([]);
        refresh();
    };
    $("reload").onclick = reload;
    showComplexForm();
    $("complex").onclick = () => {
        state = complexForm(state, state.complex === "cartesian" ? "polar" : "cartesian");
        showComplexForm();
        refresh();
    };
    $("png").onclick = exportPng;
    $("csv").onclick = async () => download("wavtrex-view.csv", new Blob([await csvText()], { type: "text/csv" }));
    $("json").onclick = () => download("wavtrex-view.json", new Blob([JSON.stringify({ files: files.map((f) => f.path), ...state }, null, 1)], { type: "application/json" }));
    if (info.watch) setInterval(async () => (await loadFiles()).changed && refresh(), 1500);
    await refresh();
}

// For the browser test and the bench: the page's state and its actions.
Object.assign(window, { wavtrexView: { state: () => state, plots: () => plots.map((p) => p.plot), csvText, placeCursor, setWindow, refresh } });
start();
