// The page in Debian's headless Chromium: search and add a signal, wheel
// zoom, both cursors against the file's samples, the spike zoomed out, the
// CSV export, a reload keeping the view, a screenshot that is not blank.
import assert from "node:assert/strict";
import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import puppeteer from "puppeteer-core";

const env = process.env;
const skip = !env.WAVTREX_VIEW && "needs WAVTREX_VIEW, DEMO_SAMPLE and MAKE_SPIKE (run from CTest)";
/** @type {any} */ let server, browser, page;
const scratch = mkdtempSync(join(tmpdir(), "wavtrex-view-"));

before(async () => {
    if (skip) return;
    execFileSync(env.DEMO_SAMPLE, [join(scratch, "demo.tr0")]);
    execFileSync(env.MAKE_SPIKE, [join(scratch, "spike.tr0"), "200000"]);
    server = spawn(env.WAVTREX_VIEW, [join(scratch, "demo.tr0"), join(scratch, "spike.tr0")]);
    const url = await new Promise((resolve) => server.stdout.once("data", (d) => resolve(String(d).trim())));
    browser = await puppeteer.launch({
        executablePath: env.CHROMIUM || "/usr/bin/chromium",
        args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            `--user-data-dir=${join(scratch, "chromium")}`],
    });
    page = await browser.newPage();
    await page.setViewport({ width: 1100, height: 700 });
    page.on("pageerror", (e) => assert.fail(`page error: ${e.message}`));
    await page.goto(url);
    await drawn();
});

after(async () => {
    if (browser) await browser.close();
    if (server) server.kill();
    rmSync(scratch, { recursive: true, force: true });
});

let drawCount = 0;
/** Waits for the page to finish its next drawing. */
async function drawn() {
    await page.waitForFunction((n) => Number(document.body.dataset.drawn || 0) > n, { timeout: 10000 }, drawCount);
    drawCount = await page.evaluate(() => Number(document.body.dataset.drawn));
}
const view = (/** @type {string} */ expr) => page.evaluate(`window.wavtrexView.${expr}`);

/** The file's samples of a signal in [x0, x1], from the server's CSV. */
async function samples(file, signal, x0, x1) {
    const text = await page.evaluate(async (q) => (await fetch(`/api/csv?${q}`)).text(),
        new URLSearchParams({ file, signals: signal, x0, x1 }).toString());
    return text.trim().split("\n").slice(1).map((line) => line.split(",").slice(2).map(Number));
}

test("the viewer in a browser", { skip, timeout: 60000 }, async () => {
    await page.type("#search", "OUT");
    const items = await page.$$eval("#signals li", (lis) => lis.map((li) => li.textContent));
    assert.deepEqual(items, ["[0] out"]);
    await page.click("#signals li");
    await drawn();

    const [x0, x1] = await view("state().x || [0, 0]").then((x) => (x[1] ? x : view("plots()[0].scales.x").then((s) => [s.min, s.max])));
    const box = await (await page.$(".u-over")).boundingBox();
    await page.mouse.move(box.x + box.width * 0.1, box.y + box.height / 2);
    for (let i = 0; i < 5; i++) await page.mouse.wheel({ deltaY: -100 });
    await drawn();
    const [z0, z1] = await view("state().x");
    assert.ok(z1 - z0 < (x1 - x0) / 2 && z0 >= x0, `zoomed into ${z0}..${z1}`);

    await page.keyboard.down("Control");  // ctrl+drag pans: the same width, earlier times
    await page.mouse.move(box.x + box.width * 0.5, box.y + 20);
    await page.mouse.down();
    await page.mouse.move(box.x + box.width * 0.6, box.y + 20, { steps: 4 });
    await page.mouse.up();
    await page.keyboard.up("Control");
    await drawn();
    const [p0, p1] = await view("state().x");
    assert.ok(p0 < z0 && Math.abs(p1 - p0 - (z1 - z0)) < 1e-9 * (z1 - z0), `panned to ${p0}..${p1} from ${z0}..${z1}`);

    await page.mouse.click(box.x + box.width * 0.3, box.y + box.height / 2);
    await page.keyboard.down("Shift");
    await page.mouse.click(box.x + box.width * 0.7, box.y + box.height / 2);
    await page.keyboard.up("Shift");
    await page.waitForFunction(() => [...document.querySelectorAll("#readout td")].filter((td) => Number.isFinite(Number(td.dataset.value))).length === 4);
    const [a, b] = await view("state().cursors");
    const rows = await page.$$eval("#readout tr", (trs) => trs.map((tr) => [...tr.children].map((td) => td.dataset.value || td.textContent)));
    const out = rows.find((r) => r[0] === "[0] out");
    const points = await samples(0, 3, x0, x1);
    for (const [cursor, cell] of [[a, out[1]], [b, out[2]]]) {
        const i = points.findIndex(([x]) => x >= cursor);
        const [[t0, v0], [t1, v1]] = [points[i - 1], points[i]];
        assert.ok(Math.abs(Number(cell) - (v0 + ((v1 - v0) * (cursor - t0)) / (t1 - t0))) < 1e-6, `readout ${cell} at ${cursor}: ${JSON.stringify(rows)}`);
    }

    const csv = await view("csvText()");
    const lines = csv.trim().split("\n");
    assert.equal(lines[0], "signal,sweep,x,value");
    const exported = lines.filter((l) => l.startsWith('"out"')).map((l) => l.split(",").slice(2).map(Number));
    assert.deepEqual(exported, points.filter(([x]) => x >= a && x <= b));

    await page.evaluate(() => window.scrollTo(0, 0));
    await page.click("#panel");
    await drawn();
    await page.$eval("#search", (el) => { el.value = ""; });
    await page.type("#search", "v(spike");
    await page.click("#signals li");
    await drawn();
    await page.click("#fit");
    await drawn();
    const plotted = await view("plots()[1].data[1].filter((v) => v !== null)");
    assert.ok(plotted.length < 20000 && plotted.includes(1), `the spike is plotted zoomed out: ${plotted.length} points, ${JSON.stringify(await view("state()"))}, max ${Math.max(...plotted)}`);

    const kept = await view("state()");
    await page.reload();
    drawCount = 0;
    await drawn();
    assert.deepEqual(await view("state()"), kept);

    const shot = env.SCREENSHOT || join(scratch, "view.png");
    await page.screenshot({ path: shot });
    const inked = await view("plots()[0].ctx.getImageData(0, 0, 600, 200).data.filter((v, i) => i % 4 === 0 && v < 200).length");
    assert.ok(inked > 500, `plot pixels drawn: ${inked}`);
});
