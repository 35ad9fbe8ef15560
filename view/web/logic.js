// The page's pure logic: numbers in engineering units, cursor values,
// forgiving signal names, the view in the URL, envelopes as plot points.
// No DOM here, so node --test runs it as it is.

/** @typedef {{file: number, name: string, part: string}} Shown */
/** @typedef {"polar" | "cartesian"} ComplexForm */
/**
 * @typedef {{panels: Shown[][], x: [number, number] | null, cursors: (number | null)[],
 *   complex: ComplexForm}} ViewState
 */
/** @typedef {{x: number[], y: (number | null)[]}} Points */
/**
 * @typedef {{raw: true, x: number[], y: (number | null)[]} |
 *   {raw: false, count: number[], min: (number | null)[], max: (number | null)[],
 *    first: (number | null)[], last: (number | null)[], firstX: (number | null)[],
 *    lastX: (number | null)[]}} SweepEnvelope
 */

const PREFIXES = ["f", "p", "n", "u", "m", "", "k", "M", "G", "T"];

/**
 * A value with an SI prefix and unit: 1.5e-9 s reads "1.5 ns".
 * @param {number | null} value
 * @param {string} unit
 * @param {number} [digits] significant digits
 * @returns {string}
 */
export function engineering(value, unit, digits = 4) {
    if (value === null || !Number.isFinite(value)) return "-";
    if (value === 0) return `0 ${unit}`.trim();
    const power = Math.min(4, Math.max(-5, Math.floor(Math.log10(Math.abs(value)) / 3)));
    const scaled = value / 10 ** (3 * power);
    const text = String(Number(scaled.toPrecision(digits)));
    return `${text} ${PREFIXES[power + 5]}${unit}`.trim();
}

/**
 * The value at x on the line between two samples; the sample itself at its time.
 * @param {[number, number] | null} before
 * @param {[number, number] | null} after
 * @param {number} x
 * @returns {number | null}
 */
export function interpolate(before, after, x) {
    if (!before || !after) return null;
    if (before[0] === x) return before[1];
    if (after[0] === before[0]) return after[1];
    return before[1] + ((after[1] - before[1]) * (x - before[0])) / (after[0] - before[0]);
}

/**
 * The readout of two cursors: their distance, its inverse and the value step.
 * @param {number} a
 * @param {number} b
 * @param {number | null} ya
 * @param {number | null} yb
 */
export function delta(a, b, ya, yb) {
    const dx = b - a;
    return { dx, inverse: dx === 0 ? null : 1 / dx, dy: ya === null || yb === null ? null : yb - ya };
}

/** @param {string} name */
const bare = (name) => name.toLowerCase().replaceAll(")", "");

/**
 * The names a search finds, in order: exactly, ignoring case, ignoring
 * closing parentheses, or as a wildcard (* and ?) ignoring case; an
 * empty search or a plain word finds the names that contain it.
 * @param {string[]} names
 * @param {string} pattern
 * @returns {number[]} indices into names
 */
export function findNames(names, pattern) {
    const p = pattern.trim();
    if (!p) return names.map((_, i) => i);
    const wild = /[*?]/.test(p);
    const source = bare(p).replace(/[.+^${}()|[\]\\]/g, "\\$&").replaceAll("*", ".*").replaceAll("?", ".");
    const re = new RegExp(wild ? `^${source}$` : source);
    return names.flatMap((name, i) => (re.test(bare(name)) ? [i] : []));
}

/**
 * @param {ViewState} state
 * @returns {string} the URL fragment
 */
export function encodeState(state) {
    return "#" + encodeURIComponent(JSON.stringify(state));
}

/**
 * The view a fragment holds, or null for none or garbage.
 * @param {string} hash
 * @returns {ViewState | null}
 */
export function decodeState(hash) {
    try {
        const s = JSON.parse(decodeURIComponent(hash.replace(/^#/, "")));
        if (!s || !Array.isArray(s.panels)) return null;
        const complex = s.complex === "cartesian" ? "cartesian" : "polar";
        return { panels: s.panels, x: Array.isArray(s.x) ? s.x : null, cursors: s.cursors || [null, null], complex };
    } catch {
        return null;
    }
}

/** The parts a complex (AC) signal shows: magnitude in dB and phase, or real and imaginary. */
export const COMPLEX_PARTS = { polar: ["db", "degrees"], cartesian: ["real", "imaginary"] };

/**
 * The view with every shown complex part in the given form (dB and phase
 * become real and imaginary, or back).
 * @param {ViewState} state
 * @param {ComplexForm} form
 * @returns {ViewState}
 */
export function complexForm(state, form) {
    const to = COMPLEX_PARTS[form], from = COMPLEX_PARTS[form === "polar" ? "cartesian" : "polar"];
    const part = (/** @type {string} */ p) => (from.includes(p) ? to[from.indexOf(p)] : p);
    return { ...state, complex: form, panels: state.panels.map((panel) => panel.map((s) => ({ ...s, part: part(s.part) }))) };
}

/**
 * Plot points of one sweep's envelope: the raw samples, or per column its
 * first and last samples at their times and its extremes between them, so
 * the line passes through every column's full range.
 * @param {SweepEnvelope} e
 * @param {number} x0
 * @param {number} x1
 * @param {boolean} [log] columns even in log x
 * @returns {Points}
 */
export function envelopePoints(e, x0, x1, log = false) {
    if (e.raw) return { x: e.x, y: e.y };
    /** @type {[number, number | null][]} */
    const points = [];
    const [a, b] = log ? [Math.log(x0), Math.log(x1)] : [x0, x1];
    const at = (/** @type {number} */ share) => {
        const v = a + (b - a) * share;
        return log ? Math.exp(v) : v;
    };
    for (let c = 0; c < e.count.length; c++) {
        const fx = e.firstX[c], lx = e.lastX[c];
        if (!e.count[c] || fx === null || lx === null) continue;
        // An extreme that is one of the column's ends is drawn there: a
        // column of a smooth curve needs two points, not four.
        const ends = [e.first[c], e.last[c]];
        /** @type {[number, number | null][]} */
        const column = [[fx, e.first[c]]];
        if (!ends.includes(e.min[c])) column.push([Math.min(Math.max(at((c + 0.4) / e.count.length), fx), lx), e.min[c]]);
        if (!ends.includes(e.max[c])) column.push([Math.min(Math.max(at((c + 0.6) / e.count.length), fx), lx), e.max[c]]);
        column.push([lx, e.last[c]]);
        for (const point of column) {
            const previous = points[points.length - 1];
            if (previous && previous[0] >= point[0]) point[0] = nextUp(previous[0]);
            points.push(point);
        }
    }
    return { x: points.map((p) => p[0]), y: points.map((p) => p[1]) };
}

/**
 * The next double above x, so joined series keep every point apart.
 * @param {number} x
 */
function nextUp(x) {
    const view = new DataView(new ArrayBuffer(8));
    view.setFloat64(0, x === 0 ? 0 : x);
    if (x === 0) return Number.MIN_VALUE;
    const bits = view.getBigUint64(0);
    view.setBigUint64(0, x > 0 ? bits + 1n : bits - 1n);
    return view.getFloat64(0);
}
