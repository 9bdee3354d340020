// Figures of the browser edition in headless Chromium (the system's, with its
// fake audio output): frame work per frame over a run of the show, the bytes
// of the whole page (plain and gzipped), the time from the click to the first
// frame, the music clock against the audio context's output timestamps, and
// the time to a page ready to play over a slow link with either track.
// Prints figures; never passes or fails on them.
//   node web_bench.mjs SITE-DIR MUSIC.OGG [SECONDS-OF-SHOW]
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import {launchChromium, openPage, serveSite, waitForPrompt} from '../../tests/web/site.mjs';

const [siteArg, musicArg, secondsArg] = process.argv.slice(2);
if (!siteArg || !musicArg) {
    console.error('usage: node web_bench.mjs SITE-DIR MUSIC.OGG [SECONDS-OF-SHOW]');
    process.exit(2);
}
const siteDir = path.resolve(siteArg);
const trackBytes = fs.statSync(musicArg).size;
const showSeconds = Number(secondsArg || 142);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const kb = (bytes) => (bytes / 1024).toFixed(1);

function quantiles(values) {
    const sorted = [...values].sort((a, b) => a - b);
    const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * q))];
    const mean = sorted.reduce((a, b) => a + b, 0) / sorted.length;
    return {n: sorted.length, mean, median: at(0.5), p99: at(0.99), max: sorted[sorted.length - 1]};
}

const site = await serveSite(siteDir);
const browser = await launchChromium();
try {
    // --- Click to first frame, over fresh page loads ---
    const startTimes = [];
    let sent = null;
    for (let i = 0; i < 5; ++i) {
        for (const key of Object.keys(site.sent))
            delete site.sent[key];
        const {page} = await openPage(browser, site.url);
        await waitForPrompt(page, 'Click or press a key');
        // The show starts up when the visitor comes near it: the pointer
        // reaches the picture a moment before it clicks.
        await page.hover('#screen');
        await sleep(300);
        await page.click('#screen');
        await page.waitForFunction(() => Module._shadestrip_frames() > 0);
        startTimes.push(await page.evaluate(() => Module._shadestrip_first_frame_at() - Module.clickedAt));
        sent = {...site.sent};
        await page.close();
    }

    // --- One run of the show: frame work, and the clock against the output ---
    const {page} = await openPage(browser, site.url);
    await waitForPrompt(page, 'Click or press a key');
    await page.click('#screen');
    const offsets = [];
    const latency = await page.evaluate(() => {
        const c = Module.audio.context;
        return {sampleRate: c.sampleRate, base: c.baseLatency, output: c.outputLatency};
    });
    const end = Date.now() + showSeconds * 1000;
    while (Date.now() < end) {
        // The frame's t against the stream frame at the output timestamp right
        // now, and how far the rendering runs ahead of what is heard.
        const sample = await page.evaluate(() => {
            const c = Module.audio.context;
            const stamp = c.getOutputTimestamp();
            return {t: Module._shadestrip_time(), heard: Module._shadestrip_heard(),
                    ahead: c.currentTime - stamp.contextTime, ended: !!document.title && false};
        });
        if (sample.heard >= 0)
            offsets.push(sample);
        if (await page.evaluate(() => document.getElementById('prompt').textContent.startsWith('The end')))
            break;
        await sleep(250);
    }
    const work = await page.evaluate(() => {
        const values = [];
        for (let i = 0; i < Module._shadestrip_frames(); ++i) {
            const v = Module._shadestrip_frame_work(i);
            if (v >= 0)
                values.push(v);
        }
        return values;
    });
    await page.close();

    const w = quantiles(work);
    console.log(`## Browser edition (headless Chromium ${await browser.version()})\n`);
    console.log(`Frame work (clock, input, scenes, overlay, canvas update), ms per frame, ` +
                `${w.n} frames of a ${Math.round(showSeconds)} s run:`);
    console.log(`  mean ${w.mean.toFixed(3)}, median ${w.median.toFixed(3)}, p99 ${w.p99.toFixed(3)}, ` +
                `max ${w.max.toFixed(3)}\n`);

    console.log('Bytes of the whole page (as served, and gzipped at level 9):');
    let total = 0, totalGzip = 0;
    for (const [name, bytes] of Object.entries(sent)) {
        const gz = zlib.gzipSync(fs.readFileSync(path.join(siteDir, name)), {level: 9}).length;
        total += bytes;
        totalGzip += gz;
        console.log(`  ${name.padEnd(18)} ${kb(bytes).padStart(9)} KB  gzip ${kb(gz).padStart(9)} KB`);
    }
    console.log(`  ${'total'.padEnd(18)} ${kb(total).padStart(9)} KB  gzip ${kb(totalGzip).padStart(9)} KB`);
    console.log(`  the track alone ${kb(trackBytes)} KB; the rest ${kb(total - trackBytes)} KB ` +
                `(gzipped, less the track: ${kb(totalGzip - trackBytes)} KB)\n`);

    // --- Loading over DevTools' "Fast 3G" (562.5 ms, 1.44 Mbit/s down) ---
    const fast3g = {download: 1.6e6 * 0.9 / 8, upload: 750e3 * 0.9 / 8, latency: 150 * 3.75};
    const slowLoads = [];
    for (const track of ['full', 'small', '']) {
        for (const key of Object.keys(site.sent))
            delete site.sent[key];
        const page = await browser.newPage();
        await page.emulateNetworkConditions(fast3g);
        const begin = Date.now();
        await page.goto(track ? `${site.url}?track=${track}` : site.url, {waitUntil: 'load'});
        await waitForPrompt(page, 'Click or press a key', 120000);
        const seconds = (Date.now() - begin) / 1000;
        const bytes = Object.values(site.sent).reduce((a, b) => a + b, 0);
        const seen = await page.evaluate(() => navigator.connection && navigator.connection.effectiveType);
        const file = await page.evaluate(() => Module.musicFile);
        slowLoads.push(`  ${track ? '?track=' + track : 'unasked (the browser reports ' + seen + ')'}: ` +
                       `${file}, ${kb(bytes)} KB, ready to play after ${seconds.toFixed(1)} s`);
        await page.close();
    }
    console.log('Whole page over an emulated Fast 3G link, start of the load to "Click":');
    console.log(slowLoads.join('\n') + '\n');

    const s = quantiles(startTimes);
    console.log(`Click to first frame presented, ms (${s.n} page loads): median ${s.median.toFixed(1)}, ` +
                `max ${s.max.toFixed(1)}\n`);

    const lag = quantiles(offsets.map((o) => (o.heard - o.t) * 1000));
    const ahead = quantiles(offsets.map((o) => o.ahead * 1000));
    console.log(`Music clock (${offsets.length} samples): heard position minus the last frame's t, ms: ` +
                `median ${lag.median.toFixed(1)}, p99 ${lag.p99.toFixed(1)}, max ${lag.max.toFixed(1)}`);
    console.log(`  rendering ahead of the output timestamp, ms: median ${ahead.median.toFixed(1)}, ` +
                `max ${ahead.max.toFixed(1)}; reported base latency ${(latency.base * 1000).toFixed(1)} ms, ` +
                `output latency ${(latency.output * 1000).toFixed(1)} ms at ${latency.sampleRate} Hz`);
} finally {
    await browser.close();
    site.close();
}
