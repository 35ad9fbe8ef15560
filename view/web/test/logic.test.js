// The page's pure logic, as tables.
import assert from "node:assert/strict";
import { test } from "node:test";
import { complexForm, decodeState, delta, encodeState, engineering, envelopePoints, findNames, interpolate } from "../logic.js";

test("engineering units", () => {
    const cases = [
        [1.5e-9, "s", "1.5 ns"], [-0.0032, "V", "-3.2 mV"], [2.5e-6, "A", "2.5 uA"],
        [0, "V", "0 V"], [12e3, "Hz", "12 kHz"], [1, "", "1"], [null, "V", "-"], [NaN, "V", "-"],
        [3e-17, "s", "0.03 fs"], [123456789, "", "123.5 M"],
    ];
    for (const [value, unit, text] of cases) assert.equal(engineering(value, unit), text, `${value} ${unit}`);
});

test("cursor values between samples", () => {
    const cases = [
        [[0, 1], [2, 3], 1, 2], [[0, 1], [2, 3], 0, 1], [[1, 5], [1, 7], 1, 5],
        [[0, 1], null, 0.5, null], [null, [0, 1], -1, null], [[2, 4], [2, 6], 2.5, 6],
    ];
    for (const [before, after, x, want] of cases) assert.equal(interpolate(before, after, x), want);
    assert.deepEqual(delta(1, 3, 1, 0.5), { dx: 2, inverse: 0.5, dy: -0.5 });
    assert.deepEqual(delta(1, 1, null, 2), { dx: 0, inverse: null, dy: null });
});

test("forgiving names", () => {
    const names = ["v(out)", "V(OUT2)", "i(r1)", "v(in", "vdd"];
    const cases = [
        ["v(out)", [0, 1]], ["V(Out", [0, 1]], ["v(in)", [3]], ["i(*", [2]], ["v(out?", [1]],
        ["*", [0, 1, 2, 3, 4]], ["", [0, 1, 2, 3, 4]], ["dd", [4]], ["x(", []],
    ];
    for (const [pattern, want] of cases) assert.deepEqual(findNames(names, pattern), want, pattern);
});

test("the view survives the URL fragment", () => {
    const state = { panels: [[{ file: 0, name: "v(a b)#", part: "db" }], []], x: [1e-12, 2.5e-3], cursors: [null, 3e-6], complex: "polar" };
    assert.deepEqual(decodeState(encodeState(state)), state);
    const cartesian = complexForm(state, "cartesian");
    assert.deepEqual([cartesian.complex, cartesian.panels[0][0].part, decodeState(encodeState(cartesian))], ["cartesian", "real", cartesian]);
    assert.deepEqual(complexForm(complexForm({ ...state, panels: [[{ file: 1, name: "x", part: "degrees" }]] }, "cartesian"), "polar").panels[0][0].part, "degrees");
    for (const garbage of ["", "#", "#%7B", "#[]", "#null"]) assert.equal(decodeState(garbage), null, garbage);
});

test("envelope points keep every column's extremes in order", () => {
    const e = { raw: false, count: [3, 0, 2], min: [-1, null, 0], max: [4, null, 9], first: [2, null, 9],
        last: [1, null, 0], firstX: [0, null, 2.1], lastX: [0.9, null, 2.9] };
    const p = envelopePoints(/** @type {any} */ (e), 0, 3);
    assert.deepEqual(p.y, [2, -1, 4, 1, 9, 0]);
    assert.ok(p.x.every((x, i) => i === 0 || x > p.x[i - 1]), "x strictly increasing");
    assert.deepEqual(envelopePoints({ raw: true, x: [1, 2], y: [3, null] }, 0, 1), { x: [1, 2], y: [3, null] });
});
