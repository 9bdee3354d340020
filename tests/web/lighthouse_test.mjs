// Lighthouse (as pinned in package-lock.json) scores the built site, served on
// a local port, in the system's Chromium with its mobile and desktop presets.
// Accessibility, best practices and SEO must score 100; the performance score
// depends on how busy the machine is, so it is printed, not judged.
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
const judged = ['accessibility', 'best-practices', 'seo'];
let failures = 0;

const site = await serveSite(siteDir);
const chrome = await chromeLauncher.launch({
    chromePath: process.env.CHROME_PATH || '/usr/bin/chromium',
    chromeFlags: ['--headless=new', '--no-sandbox', '--mute-audio'],
});
try {
    for (const [preset, config] of [['mobile', undefined], ['desktop', desktopConfig]]) {
        const result = await lighthouse(site.url, {
            port: chrome.port,
            output: 'html',
            logLevel: 'error',
            onlyCategories: ['performance', ...judged],
        }, config);
        const {categories, audits} = result.lhr;
        const scores = Object.values(categories)
                           .map((c) => `${c.id} ${Math.round(c.score * 100)}`)
                           .join(', ');
        const metrics = ['first-contentful-paint', 'largest-contentful-paint', 'total-blocking-time',
                         'cumulative-layout-shift', 'speed-index']
                            .map((id) => `${id} ${audits[id].displayValue}`)
                            .join(', ');
        console.log(`lighthouse ${preset}: ${scores}; ${metrics}`);
        for (const id of judged) {
            const category = categories[id];
            if (category.score === 1)
                continue;
            ++failures;
            const lost = category.auditRefs
                             .filter((ref) => ref.weight > 0 && audits[ref.id].score !== 1 &&
                                              audits[ref.id].score !== null)
                             .map((ref) => `${ref.id}: ${audits[ref.id].title}`);
            console.log(`FAIL: lighthouse ${preset}: ${id} scores ` +
                        `${Math.round(category.score * 100)} (${lost.join('; ')})`);
        }
        if (reportDir) {
            fs.mkdirSync(reportDir, {recursive: true});
            fs.writeFileSync(path.join(reportDir, `lighthouse-${preset}.html`), result.report);
        }
    }
} finally {
    await chrome.kill();
    site.close();
}
console.log(failures ? `${failures} Lighthouse check(s) failed`
                     : 'pass: Lighthouse scores 100 for accessibility, best practices and SEO');
process.exit(failures ? 1 : 0);
