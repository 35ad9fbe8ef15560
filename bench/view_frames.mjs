// The viewer's page in headless Chromium: the time of one frame of a pan
// (every panel redrawn at its new window) over 8 panels of a signal of
// 10^6 points each, and of the refetch that follows the pan.
//   usage: node bench/view_frames.mjs WAVTREX_VIEW FILE   (FILE: make_spike FILE 1000000 8)
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const web = join(dirname(fileURLToPath(import.meta.url)), "..", "view", "web");
const puppeteer = createRequire(join(web, "package.json"))("puppeteer-core");
const [viewer, file] = process.argv.slice(2);
const scratch = mkdtempSync(join(tmpdir(), "wavtrex-frames-"));
const server = spawn(viewer, [file]);
const url = await new Promise((resolve) => server.stdout.once("data", (d) => resolve(String(d).trim())));
const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        `--user-data-dir=${join(scratch, "chromium")}`],
});
try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1400, height: 2000 });
    const names = ["v(spike)", ...Array.from({ length: 7 }, (_, i) => `v(s${i + 1})`)];
    const state = { panels: names.map((name) => [{ file: 0, name, part: "value" }]), x: null, cursors: [null, null] };
    await page.goto(`${url}#${encodeURIComponent(JSON.stringify(state))}`);
    await page.waitForFunction(() => document.body.dataset.drawn, { timeout: 60000 });
    const figures = await page.evaluate(async () => {
        const v = /** @type {any} */ (window).wavtrexView;
        const [x0, x1] = [v.plots()[0].scales.x.min, v.plots()[0].scales.x.max];
        const step = (x1 - x0) / 200, frames = [];
        // The next task, after uPlot's drawing in a microtask; a message, as
        // nested timers are held back 4 ms.
        const channel = new MessageChannel();
        const nextTask = () => new Promise((r) => {
            channel.port1.onmessage = r;
            channel.port2.postMessage(0);
        });
        for (let i = 1; i <= 60; i++) {
            const start = performance.now();
            v.setWindow(x0 + i * step, x1 + i * step);
            await nextTask();
            frames.push(performance.now() - start);
        }
        const start = performance.now();
        await v.refresh();
        const refetch = performance.now() - start;
        frames.sort((a, b) => a - b);
        return { median: frames[30], slowest: frames[59], refetch, points: v.plots()[0].data[0].length };
    });
    console.log(`view: pan frame over 8 panels of 10^6 points: median ${figures.median.toFixed(1)} ms, ` +
        `slowest ${figures.slowest.toFixed(1)} ms (goal: median < 16 ms); refetch of the 8 envelopes ` +
        `after it ${figures.refetch.toFixed(0)} ms (${figures.points} points a panel)`);
} finally {
    await browser.close();
    server.kill();
    rmSync(scratch, { recursive: true, force: true });
}
