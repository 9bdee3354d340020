// Lighthouse (as pinned in package-lock.json) scores the built site, served on
// a local port, in the system's Chromium with its mobile and desktop presets,
// three runs of each (LIGHTHOUSE_RUNS).
//
// Judged in every run: accessibility, best practices and SEO at 100, and the
// track asked for only after the largest paint (the poster), so that it never
// shares the link with it. Judged in the median run of each preset: the
// performance score at 95 or more, and the scores of the metrics the page's
// loading decides (first and largest contentful paint, layout shift) at 0.9
// or more. The median, because the total blocking time is the wall time of
// the main thread's long tasks (four times over on the mobile preset), and on
// a busy machine part of that is the renderer waiting for a processor
// (docs/performance.md).
//   node lighthouse_test.mjs SITE-DIR [REPORT-DIR]
import fs from 'node:fs';
import path from 'node:path';
import lighthouse from 'lighthouse';
import desktopConfig from 'lighthouse/core/config/desktop-config.js';
import * as chromeLauncher from 'chrome-launcher';
import {serveSite} from './site.mjs';

const [siteDir, reportDir] = process.argv.slice(2).map((p) => path.resolve(p));
if (!siteDir || !fs.existsSync(path.join(siteDir, 'index.html'))) {
    console.error('usage: node lighthouse_test.mjs SITE-DIR [REPORT-DIR] (build the site first)');
    process.exit(2);
}
const runs = Math.max(1, Number(process.env.LIGHTHOUSE_RUNS) || 3);
const judged = ['accessibility', 'best-practices', 'seo'];
const loadingMetrics = ['first-contentful-paint', 'largest-contentful-paint', 'cumulative-layout-shift'];
const shownMetrics = [...loadingMetrics, 'total-blocking-time', 'speed-index'];
let failures = 0;
function fail(text) {
    ++failures;
    console.log(`FAIL: ${text}`);
}

// One run's figures; fails what every run must meet.
async function score(url, port, preset, config, run) {
    const result = await lighthouse(url, {
        port,
        output: 'html',
        logLevel: 'error',
        onlyCategories: ['performance', ...judged],
    }, config);
    const {categories, audits} = result.lhr;
    const scores = Object.values(categories)
                       .map((c) => `${c.id} ${Math.round(c.score * 100)}`)
                       .join(', ');
    const metrics = shownMetrics.map((id) => `${id} ${audits[id].displayValue}`).join(', ');
    console.log(`lighthouse ${preset} ${run}: ${scores}; ${metrics}`);
    for (const id of judged) {
        const category = categories[id];
        if (category.score === 1)
            continue;
        const lost = category.auditRefs
                         .filter((ref) => ref.weight > 0 && audits[ref.id].score !== 1 &&
                                          audits[ref.id].score !== null)
                         .map((ref) => `${ref.id}: ${audits[ref.id].title}`);
        fail(`lighthouse ${preset}: ${id} scores ${Math.round(category.score * 100)} ` +
             `(${lost.join('; ')})`);
    }
    // The track's request against the largest paint, both as observed.
    const observed = audits.metrics.details.items[0];
    const track = audits['network-requests'].details.items.find((r) => /\/music[^/]*\.ogg$/.test(r.url));
    if (!track || track.networkRequestTime <= observed.observedLargestContentfulPaint)
        fail(`lighthouse ${preset}: the track is asked for at ` +
             `${track ? Math.round(track.networkRequestTime) + ' ms' : 'no time'}, not after the ` +
             `largest paint at ${Math.round(observed.observedLargestContentfulPaint)} ms`);
    if (reportDir) {
        fs.mkdirSync(reportDir, {recursive: true});
        fs.writeFileSync(path.join(reportDir, `lighthouse-${preset}-${run}.html`), result.report);
    }
    return {performance: categories.performance.score, audits};
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const site = await serveSite(siteDir);
const chrome = await chromeLauncher.launch({
    chromePath: process.env.CHROME_PATH || '/usr/bin/chromium',
    chromeFlags: ['--headless=new', '--no-sandbox', '--mute-audio'],
});
try {
    for (const [preset, config] of [['mobile', undefined], ['desktop', desktopConfig]]) {
        const results = [];
        for (let run = 1; run <= runs; ++run)
            results.push(await score(site.url, chrome.port, preset, config, run));
        const performance = results.map((r) => Math.round(r.performance * 100));
        console.log(`lighthouse ${preset}: performance ${performance.join(', ')} ` +
                    `(median ${median(performance)})`);
        if (median(performance) < 95)
            fail(`lighthouse ${preset}: performance scores ${median(performance)} in the ` +
                 `median run (least 95)`);
        for (const id of loadingMetrics) {
            const value = median(results.map((r) => r.audits[id].score));
            if (value < 0.9)
                fail(`lighthouse ${preset}: ${id} scores ${value} in the median run (least 0.9)`);
        }
    }
} finally {
    await chrome.kill();
    site.close();
}
console.log(failures ? `${failures} Lighthouse check(s) failed`
                     : 'pass: Lighthouse scores 100 for accessibility, best practices and SEO, ' +
                       'the track waits for the largest paint, and the median run scores 95 or ' +
                       'more for performance');
process.exit(failures ? 1 : 0);
